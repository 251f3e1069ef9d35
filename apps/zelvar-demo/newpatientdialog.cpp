#include "newpatientdialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

namespace zelvar::demo {

namespace {

const QString kDelimiter = QStringLiteral("\u00E7\u00E7");

QLineEdit* edit(QWidget* parent, const QString& name, const QString& placeholder = {})
{
    auto* e = new QLineEdit(parent);
    e->setObjectName(name);
    e->setPlaceholderText(placeholder);
    return e;
}

// A field with a button that looks its value up in a code table.
QWidget* withLookup(QLineEdit* field, QPushButton*& button, const QString& name, const QString& what)
{
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(field);
    button = new QPushButton(QStringLiteral("…"), row);
    button->setObjectName(name);
    button->setToolTip(QStringLiteral("Choose the ") + what + QStringLiteral(" from the practice's list"));
    button->setAccessibleName(QStringLiteral("Look up ") + what);
    layout->addWidget(button);
    return row;
}

} // namespace

NewPatientDialog::NewPatientDialog(PatLookup& lookup, std::shared_ptr<HostLink> link, QWidget* parent)
    : QDialog(parent)
    , m_lookup(lookup)
    , m_link(std::move(link))
{
    setObjectName(QStringLiteral("NewPatientDialog"));
    setWindowTitle(QStringLiteral("New patient"));
    auto* form = new QFormLayout(this);
    txtLast = edit(this, QStringLiteral("txtLast"));
    txtFirst = edit(this, QStringLiteral("txtFirst"));
    txtMiddle = edit(this, QStringLiteral("txtMiddle"));
    txtDob = edit(this, QStringLiteral("txtDob"), QStringLiteral("MM/DD/YYYY"));
    txtSex = edit(this, QStringLiteral("txtSex"));
    txtSsn = edit(this, QStringLiteral("txtSsn"), QStringLiteral("123-45-6789"));
    txtPhone = edit(this, QStringLiteral("txtPhone"), QStringLiteral("(217) 555-0100"));
    txtStreet = edit(this, QStringLiteral("txtStreet"));
    txtCity = edit(this, QStringLiteral("txtCity"));
    txtState = edit(this, QStringLiteral("txtState"), QStringLiteral("IL"));
    txtZip = edit(this, QStringLiteral("txtZip"));
    txtPayor = edit(this, QStringLiteral("txtPayor"));
    txtPolicy = edit(this, QStringLiteral("txtPolicy"));
    form->addRow(QStringLiteral("&Last name"), txtLast);
    form->addRow(QStringLiteral("&First name"), txtFirst);
    form->addRow(QStringLiteral("&Middle initial"), txtMiddle);
    form->addRow(QStringLiteral("&Date of birth"), txtDob);
    form->addRow(QStringLiteral("Se&x"), withLookup(txtSex, cmdSexLookup, QStringLiteral("cmdSexLookup"), QStringLiteral("sex")));
    form->addRow(QStringLiteral("&SSN"), txtSsn);
    form->addRow(QStringLiteral("&Phone"), txtPhone);
    form->addRow(QStringLiteral("S&treet"), txtStreet);
    form->addRow(QStringLiteral("&City"), txtCity);
    form->addRow(QStringLiteral("St&ate"), txtState);
    form->addRow(QStringLiteral("&ZIP"), txtZip);
    form->addRow(QStringLiteral("Pa&yor"), withLookup(txtPayor, cmdPayorLookup, QStringLiteral("cmdPayorLookup"), QStringLiteral("payor")));
    form->addRow(QStringLiteral("P&olicy number"), txtPolicy);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Save | QDialogButtonBox::Cancel, this);
    cmdSave = buttons->button(QDialogButtonBox::Save);
    cmdSave->setObjectName(QStringLiteral("cmdSave"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("cmdCancel"));
    form->addRow(buttons);

    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(cmdSave, &QPushButton::clicked, this, &NewPatientDialog::save);
    connect(cmdSexLookup, &QPushButton::clicked, this, [this] { lookUpCode(QStringLiteral("GENDER"), txtSex); });
    connect(cmdPayorLookup, &QPushButton::clicked, this, [this] { lookUpCode(QStringLiteral("PAYOR"), txtPayor); });
}

void NewPatientDialog::lookUpCode(const QString& table, QLineEdit* field)
{
    const QString chosen = m_lookup.MiscLookup(table, QString());
    if (!chosen.isEmpty())
        field->setText(chosen.section(kDelimiter, 0, 0));
    field->setFocus();
}

void NewPatientDialog::save()
{
    if (txtLast->text().trimmed().isEmpty() || txtFirst->text().trimmed().isEmpty() || txtDob->text().trimmed().isEmpty()) {
        QMessageBox::information(this, windowTitle(), QStringLiteral("A new patient needs a last name, a first name and a date of birth."));
        return;
    }
    // First the patients the practice may already have.
    const QString name = txtLast->text().trimmed() + QLatin1Char(',') + txtFirst->text().trimmed();
    const QString found = m_lookup.CheckForDuplicatePatient(txtSsn->text(), QString(), name, txtDob->text(),
                                                            txtPolicy->text(), QString());
    bool isAccount = false;
    const qint64 existing = found.section(kDelimiter, 0, 0).toLongLong(&isAccount);
    if (isAccount && existing > 0) {
        QMessageBox ask(QMessageBox::Question, windowTitle(),
                        QStringLiteral("The practice already has %1 (account %2). Is this the same patient?")
                            .arg(found.section(kDelimiter, 1), QString::number(existing)),
                        QMessageBox::NoButton, this);
        ask.setObjectName(QStringLiteral("DuplicateChoice"));
        QPushButton* use = ask.addButton(QStringLiteral("&Use this patient"), QMessageBox::AcceptRole);
        use->setObjectName(QStringLiteral("cmdUseExisting"));
        QPushButton* anyway = ask.addButton(QStringLiteral("C&reate anyway"), QMessageBox::DestructiveRole);
        anyway->setObjectName(QStringLiteral("cmdCreateAnyway"));
        ask.addButton(QMessageBox::Cancel)->setObjectName(QStringLiteral("cmdBack"));
        ask.setDefaultButton(use);
        ask.exec();
        if (ask.clickedButton() == use) {
            m_account = existing;
            accept();
            return;
        }
        if (ask.clickedButton() != anyway)
            return;
    }
    if (create())
        accept();
}

bool NewPatientDialog::create()
{
    const QStringList fields{txtLast->text(), txtFirst->text(), txtMiddle->text(), txtDob->text(), txtSex->text(),
                             txtSsn->text(), txtPhone->text(), txtStreet->text(), txtCity->text(), txtState->text(),
                             txtZip->text(), txtPayor->text(), txtPolicy->text()};
    QStringList cleaned;
    for (QString f : fields)
        cleaned.append(f.replace(QLatin1Char('\t'), QLatin1Char(' ')).replace(QLatin1Char('|'), QLatin1Char('/')).trimmed());
    QStringList replies;
    QString fourth;
    const bool answered = m_link->GetServerStringData(QStringLiteral("|PUT|PATIENT|") + cleaned.join(QLatin1Char('\t')),
                                                      replies, QString(), fourth);
    const QString reply = replies.value(0).mid(QStringLiteral("|OK||").size());
    bool ok = false;
    const qint64 account = reply.toLongLong(&ok);
    if (!answered || !ok) {
        QMessageBox::warning(this, windowTitle(),
                             QStringLiteral("The patient was not registered: ")
                                 + (answered ? reply.section(QStringLiteral("ERROR: "), -1) : QStringLiteral("the server did not answer.")));
        return false;
    }
    m_account = account;
    return true;
}

} // namespace zelvar::demo
