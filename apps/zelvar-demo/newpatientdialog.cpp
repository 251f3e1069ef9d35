#include "newpatientdialog.h"

#include "practice/textshape.h"

#include <QDialogButtonBox>
#include <QKeyEvent>
#include <QLabel>
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
    // Each label names its field as its buddy, also where a lookup button sits beside the
    // field (a row widget takes no focus, so its mnemonic would do nothing).
    const auto addRow = [&](const QString& label, QLineEdit* field, QWidget* shown = nullptr) {
        auto* l = new QLabel(label, this);
        l->setBuddy(field);
        form->addRow(l, shown ? shown : field);
    };
    addRow(QStringLiteral("&Last name"), txtLast);
    addRow(QStringLiteral("&First name"), txtFirst);
    addRow(QStringLiteral("&Middle initial"), txtMiddle);
    addRow(QStringLiteral("&Date of birth"), txtDob);
    addRow(QStringLiteral("Se&x"), txtSex, withLookup(txtSex, cmdSexLookup, QStringLiteral("cmdSexLookup"), QStringLiteral("sex")));
    addRow(QStringLiteral("&SSN"), txtSsn);
    addRow(QStringLiteral("&Phone"), txtPhone);
    addRow(QStringLiteral("S&treet"), txtStreet);
    addRow(QStringLiteral("&City"), txtCity);
    addRow(QStringLiteral("St&ate"), txtState);
    addRow(QStringLiteral("&ZIP"), txtZip);
    addRow(QStringLiteral("Pa&yor"), txtPayor, withLookup(txtPayor, cmdPayorLookup, QStringLiteral("cmdPayorLookup"), QStringLiteral("payor")));
    addRow(QStringLiteral("P&olicy number"), txtPolicy);
    auto* hint = new QLabel(QStringLiteral("Enter moves to the next field; Ctrl+Enter saves."), this);
    hint->setObjectName(QStringLiteral("lblHint"));
    hint->setEnabled(false);
    form->addRow(hint);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Save | QDialogButtonBox::Cancel, this);
    cmdSave = buttons->button(QDialogButtonBox::Save);
    cmdSave->setObjectName(QStringLiteral("cmdSave"));
    cmdSave->setToolTip(QStringLiteral("Check the practice for this patient, then register the patient (Ctrl+Enter)"));
    QPushButton* cancel = buttons->button(QDialogButtonBox::Cancel);
    cancel->setObjectName(QStringLiteral("cmdCancel"));
    form->addRow(buttons);

    // The Tab order is the order on screen (the rows with a lookup button were made later).
    QWidget* order[] = {txtLast, txtFirst, txtMiddle, txtDob, txtSex, cmdSexLookup, txtSsn, txtPhone, txtStreet,
                        txtCity, txtState, txtZip, txtPayor, cmdPayorLookup, txtPolicy, cmdSave, cancel};
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);
    for (QLineEdit* field : findChildren<QLineEdit*>())
        field->installEventFilter(this);

    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(cmdSave, &QPushButton::clicked, this, &NewPatientDialog::save);
    connect(cmdSexLookup, &QPushButton::clicked, this, [this] { lookUpCode(QStringLiteral("GENDER"), txtSex); });
    connect(cmdPayorLookup, &QPushButton::clicked, this, [this] { lookUpCode(QStringLiteral("PAYOR"), txtPayor); });
}

// Enter in a field moves on, as on a paper form: a half-filled patient is never saved by the
// key that ends a field. Ctrl+Enter saves from anywhere.
bool NewPatientDialog::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            if (key->modifiers() & Qt::ControlModifier)
                save();
            else
                focusNextChild();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void NewPatientDialog::fillFrom(const QString& typed)
{
    const practice::TextShape shape = practice::textShape(typed);
    switch (shape.kind) {
    case practice::TextShape::DateOfBirth:
        txtDob->setText(shape.value);
        return;
    case practice::TextShape::Ssn:
        txtSsn->setText(shape.value);
        return;
    case practice::TextShape::Phone:
        txtPhone->setText(shape.value);
        return;
    case practice::TextShape::Name:
        txtLast->setText(shape.last);
        txtFirst->setText(shape.first);
        return;
    default:
        return;
    }
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
    const std::pair<QLineEdit*, const char*> required[] = {
        {txtLast, "last name"}, {txtFirst, "first name"}, {txtDob, "date of birth"}};
    for (const auto& [field, what] : required) {
        if (field->text().trimmed().isEmpty()) {
            QMessageBox missing(QMessageBox::Information, windowTitle(),
                                QStringLiteral("Type the new patient's %1.").arg(QLatin1String(what)), QMessageBox::Ok, this);
            missing.setObjectName(QStringLiteral("MissingField"));
            missing.exec();
            field->setFocus();
            return;
        }
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
        ask.setInformativeText(QStringLiteral("Use this patient: open that account. Create anyway: register a new patient. "
                                              "Cancel: back to the form."));
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
    } else if (m_lookup.DuplicatesWereShown()) {
        // The list was closed without a choice: that is going back, never creating.
        QMessageBox ask(QMessageBox::Question, windowTitle(),
                        QStringLiteral("The practice has patients who may be this one, and none was chosen."),
                        QMessageBox::NoButton, this);
        ask.setObjectName(QStringLiteral("DuplicatesClosed"));
        ask.setInformativeText(QStringLiteral("Back to the form: nothing is saved. Create anyway: register a new patient."));
        QPushButton* back = ask.addButton(QStringLiteral("&Back to the form"), QMessageBox::RejectRole);
        back->setObjectName(QStringLiteral("cmdBack"));
        QPushButton* anyway = ask.addButton(QStringLiteral("C&reate anyway"), QMessageBox::DestructiveRole);
        anyway->setObjectName(QStringLiteral("cmdCreateAnyway"));
        ask.setDefaultButton(back);
        ask.setEscapeButton(back);
        ask.exec();
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
