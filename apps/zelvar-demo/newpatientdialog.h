#pragma once

#include <zelvar/patlookup.h>

#include <QDialog>

#include <memory>

class QLineEdit;
class QPushButton;

namespace zelvar::demo {

// Registering a patient at the front desk: the patient's data, with code lookups for sex and
// payor; Save checks for the patient first and offers the one found ("Use this patient") or
// registers the new one ("Create anyway").
class NewPatientDialog : public QDialog
{
    Q_OBJECT

public:
    NewPatientDialog(PatLookup& lookup, std::shared_ptr<HostLink> link, QWidget* parent = nullptr);

    // The account chosen or created once the dialog is accepted.
    qint64 account() const { return m_account; }

    // Fills the fields from what was typed in the search box: a name splits into last and
    // first, a date of birth, a phone or an SSN goes to its own field.
    void fillFrom(const QString& typed);
    void save();
    void lookUpCode(const QString& table, QLineEdit* field);

    QLineEdit* txtLast = nullptr;
    QLineEdit* txtFirst = nullptr;
    QLineEdit* txtMiddle = nullptr;
    QLineEdit* txtDob = nullptr;
    QLineEdit* txtSex = nullptr;
    QLineEdit* txtSsn = nullptr;
    QLineEdit* txtPhone = nullptr;
    QLineEdit* txtStreet = nullptr;
    QLineEdit* txtCity = nullptr;
    QLineEdit* txtState = nullptr;
    QLineEdit* txtZip = nullptr;
    QLineEdit* txtPayor = nullptr;
    QLineEdit* txtPolicy = nullptr;
    QPushButton* cmdSexLookup = nullptr;
    QPushButton* cmdPayorLookup = nullptr;
    QPushButton* cmdSave = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool create();

    PatLookup& m_lookup;
    std::shared_ptr<HostLink> m_link;
    qint64 m_account = 0;
};

} // namespace zelvar::demo
