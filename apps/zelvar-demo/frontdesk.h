#pragma once

#include "hostobjects.h"

#include <zelvar/patlookup.h>

#include <QMainWindow>

#include <functional>
#include <memory>

class QCheckBox;
class QComboBox;
class QDockWidget;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace zelvar::demo {

// The demo host as a front desk: find a patient (the search key as a choice, workflow search
// as a switch), the chosen patient's account with its record, a new patient's registration,
// and, for integrators, the traffic between the component and the server in a dock.
class FrontDesk : public QMainWindow
{
    Q_OBJECT

public:
    // onChosen hears of every account a lookup returns (for the server's recent list).
    FrontDesk(std::shared_ptr<HostLink> server, std::function<void(qint64)> onChosen = {}, QWidget* parent = nullptr);
    ~FrontDesk() override;

    void setDatabaseDescription(const QString& text);

    void find();
    void newPatient();
    void displayRecord();
    // Shows the account's summary (from its record); false when the server has none.
    bool showPatient(qint64 account);
    qint64 account() const { return m_account; }

    QLineEdit* txtFind = nullptr;
    QComboBox* cmbSearchBy = nullptr;
    QCheckBox* chkWorkflow = nullptr;
    QPushButton* cmdFind = nullptr;
    QPushButton* cmdNewPatient = nullptr;
    QLabel* lblSummary = nullptr;
    QPushButton* cmdDisplayRecord = nullptr;
    QDockWidget* dockTraffic = nullptr;
    QPlainTextEdit* txtTraffic = nullptr;

    PatLookup& lookup() { return m_lookup; }
    std::shared_ptr<HostLink> link() const { return m_link; }

    // Why the server's last request failed, as the clerk was told ("" while it answers).
    QString linkFailure() const { return m_linkFailure; }

private:
    void log(const QString& line);
    void linkChanged(const QString& failure);
    void chosen(const QString& result);

    PatLookup m_lookup;
    std::shared_ptr<LoggingLink> m_link;
    std::shared_ptr<LoggingUtils> m_utils;
    std::function<void(qint64)> m_onChosen;
    qint64 m_account = 0;
    QString m_databaseDescription;
    QString m_linkFailure;
};

} // namespace zelvar::demo
