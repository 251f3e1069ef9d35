#pragma once

#include "practicestore.h"
#include "replyformat.h"

#include <zelvar/patlookup.h>

#include <functional>
#include <memory>

namespace zelvar::practice {

// The practice server as the component reaches it: every request kind answered in the reply
// formats the windows read, from a PracticeStore. Bad requests get an "ERROR:" text in the
// server's own words, never an exception. One request is the host's own, never the
// component's: |PUT|PATIENT| with a new patient's last, first and middle name, date of birth,
// sex, SSN, phone, street, city, state, zip, payor code and policy number, tab-separated; the
// reply is the new account number. The other, |PUT|CHOICE|account, records the account the user
// chose, for the user's recent-accounts list.
class PracticeHostLink : public HostLink
{
public:
    explicit PracticeHostLink(std::shared_ptr<PracticeStore> store, QString user = QStringLiteral("FRONTDESK"),
                              QString workstation = QStringLiteral("DESK1"));

    bool GetServerStringData(const QString& request, QStringList& replies, const QString& third,
                             QString& fourth) override;
    bool GetServerString(const QString& request, QString& reply, const QString& third, QString& fourth) override;
    QString ContextValue1() override { return m_user; }
    QString ContextValue2() override { return m_workstation; }

    // The host tells the server which account the user chose (for the recent-accounts list).
    void rememberChoice(qint64 account);

    // Told of every search, duplicate check and record display with the accounts it showed
    // (a service keeps who looked at which record).
    using AccessObserver = std::function<void(const QString& kind, const QList<qint64>& accounts)>;
    void setAccessObserver(AccessObserver observer);

    // The replies to one request (what GetServerStringData hands back).
    QStringList answer(const QString& request);

    static constexpr int kPageSize = 50;

private:
    QStringList patientSearch(const QStringList& fields);
    QString listSearch(const SearchQuery& query, QList<SearchEntry>& entries, QString& total);
    QString countRows(const SearchQuery& query, int noticeLines);
    QStringList duplicateCheck(const QString& data);
    QStringList newPatient(const QString& data);
    QStringList codeLookup(const QString& table);
    QStringList fileTransfer(const QString& name, const QString& folder);
    QStringList patientRecord(const QString& account);
    QString systemSetting(const QString& name);
    QStringList rememberChoiceRequest(const QString& account);
    void noteAccess(const QString& kind, const QList<qint64>& accounts);

    std::shared_ptr<PracticeStore> m_store;
    QString m_user;
    QString m_workstation;
    AccessObserver m_observer;
};

} // namespace zelvar::practice
