#include "frontdesk.h"
#include "newpatientdialog.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDockWidget>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QVBoxLayout>
#include <QXmlStreamReader>

namespace zelvar::demo {

namespace {

const QString kDelimiter = QStringLiteral("\u00E7\u00E7");

// The search keys as the front desk names them, and how the lookup is told: a SearchBy value
// it knows, or the letter prefix that chooses the key ("D=" for the date of birth).
struct SearchKey { const char* label; const char* searchBy; const char* prefix; };
const SearchKey kKeys[] = {
    {"Name or account (by what is typed)", "", ""},
    {"Patient name", "&Pat Name", ""},
    {"Guarantor", "GUAR", ""},
    {"Account number", "&Acct#", ""},
    {"Date of birth", "", "D="},
    {"Policy number", "", "O="},
    {"Medical record number", "", "M="},
    {"Social security number", "", "S="},
    {"Phone number", "", "H="},
    {"Transaction number", "", "T="},
    {"Claim number", "", "C="},
};

// The record's fields the summary shows, by element path.
QMap<QString, QString> readRecord(const QString& xml)
{
    QMap<QString, QString> values;
    QXmlStreamReader reader(xml);
    QStringList path;
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement()) {
            path.append(reader.name().toString());
        } else if (reader.isEndElement()) {
            path.removeLast();
        } else if (reader.isCharacters() && !reader.isWhitespace()) {
            const QString key = path.join(QLatin1Char('/'));
            if (!values.contains(key))
                values.insert(key, reader.text().toString());
        }
    }
    return values;
}

} // namespace

FrontDesk::FrontDesk(std::shared_ptr<HostLink> server, std::function<void(qint64)> onChosen, QWidget* parent)
    : QMainWindow(parent)
    , m_onChosen(std::move(onChosen))
{
    setObjectName(QStringLiteral("FrontDesk"));
    setWindowTitle(QStringLiteral("Front desk – Zelvar patient lookup demo"));
    const Logger logger = [this](const QString& line) { log(line); };
    m_link = std::make_shared<LoggingLink>(std::move(server), logger,
                                           [this](const QString& failure) { linkChanged(failure); });
    m_utils = std::make_shared<LoggingUtils>(logger);
    m_lookup.InitPatLookup(m_link, m_utils);

    auto* central = new QWidget;
    auto* column = new QVBoxLayout(central);

    auto* findBox = new QGroupBox(QStringLiteral("Find a patient"));
    findBox->setObjectName(QStringLiteral("grpFind"));
    auto* findGrid = new QGridLayout(findBox);
    txtFind = new QLineEdit;
    txtFind->setObjectName(QStringLiteral("txtFind"));
    txtFind->setPlaceholderText(QStringLiteral("Last name, first name – or an account, a date of birth, a phone number…"));
    txtFind->setClearButtonEnabled(true);
    txtFind->setToolTip(QStringLiteral("A name (SMITH, JOHN or smith john), an account number, a date of birth (2/10/69, "
                                       "Feb 10 1969), an SSN or its last four digits, or a phone. Or a letter and = before the "
                                       "text: D= date of birth, S= SSN, H= phone, O= policy, M= medical record, T= transaction, "
                                       "C= claim."));
    auto* findLabel = new QLabel(QStringLiteral("&Look for:"));
    findLabel->setBuddy(txtFind);
    cmbSearchBy = new QComboBox;
    cmbSearchBy->setObjectName(QStringLiteral("cmbSearchBy"));
    for (const SearchKey& key : kKeys)
        cmbSearchBy->addItem(QString::fromUtf8(key.label));
    auto* byLabel = new QLabel(QStringLiteral("Search &by:"));
    byLabel->setBuddy(cmbSearchBy);
    chkWorkflow = new QCheckBox(QStringLiteral("&Workflow search"));
    chkWorkflow->setObjectName(QStringLiteral("chkWorkflow"));
    chkWorkflow->setToolTip(QStringLiteral("Search by patient name, guarantor or accession number, as the workflow desks do"));
    cmdFind = new QPushButton(QStringLiteral("&Find"));
    cmdFind->setObjectName(QStringLiteral("cmdFind"));
    cmdFind->setDefault(true);
    cmdNewPatient = new QPushButton(QStringLiteral("&New patient…"));
    cmdNewPatient->setObjectName(QStringLiteral("cmdNewPatient"));
    findGrid->addWidget(findLabel, 0, 0);
    findGrid->addWidget(txtFind, 0, 1, 1, 3);
    findGrid->addWidget(cmdFind, 0, 4);
    findGrid->addWidget(byLabel, 1, 0);
    findGrid->addWidget(cmbSearchBy, 1, 1);
    findGrid->addWidget(chkWorkflow, 1, 2);
    findGrid->addWidget(cmdNewPatient, 1, 4);
    findGrid->setColumnStretch(3, 1);
    column->addWidget(findBox);

    auto* patientBox = new QGroupBox(QStringLiteral("Patient"));
    patientBox->setObjectName(QStringLiteral("grpPatient"));
    auto* patientLayout = new QVBoxLayout(patientBox);
    lblSummary = new QLabel(QStringLiteral("No patient chosen yet. Find one above, or register a new patient."));
    lblSummary->setObjectName(QStringLiteral("lblSummary"));
    lblSummary->setTextFormat(Qt::RichText);
    lblSummary->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    lblSummary->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    lblSummary->setWordWrap(true);
    patientLayout->addWidget(lblSummary, 1);
    auto* patientButtons = new QHBoxLayout;
    cmdDisplayRecord = new QPushButton(QStringLiteral("Display &record"));
    cmdDisplayRecord->setObjectName(QStringLiteral("cmdDisplayRecord"));
    cmdDisplayRecord->setToolTip(QStringLiteral("The patient's record, to read or print"));
    cmdDisplayRecord->setEnabled(false);
    patientButtons->addStretch();
    patientButtons->addWidget(cmdDisplayRecord);
    patientLayout->addLayout(patientButtons);
    column->addWidget(patientBox, 1);
    setCentralWidget(central);

    // For integrators: every request and reply message, out of the clerk's way.
    dockTraffic = new QDockWidget(QStringLiteral("Server traffic"), this);
    dockTraffic->setObjectName(QStringLiteral("dockTraffic"));
    txtTraffic = new QPlainTextEdit;
    txtTraffic->setObjectName(QStringLiteral("txtTraffic"));
    txtTraffic->setReadOnly(true);
    txtTraffic->setLineWrapMode(QPlainTextEdit::NoWrap);
    txtTraffic->setFont(QFont(QStringLiteral("Monospace")));
    txtTraffic->setAccessibleName(QStringLiteral("Server traffic"));
    dockTraffic->setWidget(txtTraffic);
    addDockWidget(Qt::BottomDockWidgetArea, dockTraffic);
    dockTraffic->hide();

    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    QAction* quit = file->addAction(QStringLiteral("&Quit"), qApp, &QApplication::quit);
    quit->setShortcut(QKeySequence::Quit);
    QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
    QAction* traffic = dockTraffic->toggleViewAction();
    traffic->setText(QStringLiteral("Server &traffic"));
    traffic->setShortcut(QKeySequence(QStringLiteral("Ctrl+T")));
    view->addAction(traffic);

    connect(cmdFind, &QPushButton::clicked, this, &FrontDesk::find);
    connect(txtFind, &QLineEdit::returnPressed, this, &FrontDesk::find);
    connect(cmdNewPatient, &QPushButton::clicked, this, &FrontDesk::newPatient);
    connect(cmdDisplayRecord, &QPushButton::clicked, this, &FrontDesk::displayRecord);
    resize(900, 560);
}

FrontDesk::~FrontDesk() = default;

void FrontDesk::setDatabaseDescription(const QString& text)
{
    m_databaseDescription = QStringLiteral("Practice database: ") + text;
    if (m_linkFailure.isEmpty())
        statusBar()->showMessage(m_databaseDescription);
}

// An empty grid reads as "no such patient", so a request the server did not answer is told
// at once: in a message box the first time for each reason, over whatever window asked, and
// in the status bar until a request is answered again. The lookup itself beeps and stays
// usable.
void FrontDesk::linkChanged(const QString& failure)
{
    if (failure.isEmpty()) {
        if (!m_linkFailure.isEmpty()) {
            m_linkFailure.clear();
            statusBar()->showMessage(m_databaseDescription);
        }
        return;
    }
    // Told once per reason: a desk that goes on trying is not stopped by the same box again.
    const bool news = failure != m_linkFailure;
    m_linkFailure = failure;
    statusBar()->showMessage(failure);
    if (!news)
        return;
    QWidget* over = QApplication::activeModalWidget();
    QMessageBox box(QMessageBox::Warning, windowTitle(), failure, QMessageBox::Ok, over ? over : this);
    box.setObjectName(QStringLiteral("LinkFailure"));
    box.exec();
}

void FrontDesk::find()
{
    const SearchKey& key = kKeys[qBound(0, cmbSearchBy->currentIndex(), int(std::size(kKeys)) - 1)];
    const bool workflow = chkWorkflow->isChecked();
    QString text = txtFind->text().trimmed();
    if (!workflow && *key.prefix && !text.isEmpty())
        text = QString::fromLatin1(key.prefix) + text;
    // In workflow mode the lookup offers its own switch back to the normal keys.
    const QString result = m_lookup.PatientLookupExtended(text, workflow ? QString() : QString::fromLatin1(key.searchBy),
                                                          false, workflow ? QStringLiteral("W") : QString(), workflow);
    log(QStringLiteral("PatientLookupExtended returned \"") + result + QLatin1Char('"'));
    // A key chosen for one search is not the next one's: the box goes back to reading the text.
    cmbSearchBy->setCurrentIndex(0);
    chosen(result);
}

void FrontDesk::chosen(const QString& result)
{
    if (result == QLatin1String("NEWACCT")) {
        newPatient();
        return;
    }
    bool isAccount = false;
    const qint64 account = result.section(kDelimiter, 0, 0).toLongLong(&isAccount);
    if (!isAccount || account <= 0)
        return;
    if (m_onChosen)
        m_onChosen(account);
    showPatient(account);
}

void FrontDesk::newPatient()
{
    NewPatientDialog dialog(m_lookup, m_link, this);
    // What was typed in the search box starts the new patient.
    dialog.fillFrom(txtFind->text());
    if (dialog.exec() == QDialog::Accepted && dialog.account() > 0) {
        if (m_onChosen)
            m_onChosen(dialog.account());
        showPatient(dialog.account());
    }
}

bool FrontDesk::showPatient(qint64 account)
{
    QStringList replies;
    QString fourth;
    const QString request = QStringLiteral("|GET|DEMOXML|") + QString::number(account) + QLatin1Char('|')
        + m_link->ContextValue1() + QLatin1Char('|') + m_link->ContextValue2();
    if (!m_link->GetServerStringData(request, replies, QString(), fourth) || replies.size() < 2)
        return false;
    QString xml;
    for (qsizetype i = 0; i + 1 < replies.size(); ++i)
        xml += replies[i].mid(QStringLiteral("|OK||").size());
    const QMap<QString, QString> r = readRecord(xml);
    if (r.value(QStringLiteral("PatientRecord/Patient/Account")).isEmpty())
        return false;
    m_account = account;
    const auto row = [](const QString& label, const QString& value) -> QString {
        return QStringLiteral("<tr><td style='padding-right:12px;color:palette(mid)'>") + label.toHtmlEscaped()
            + QStringLiteral("</td><td>") + value.toHtmlEscaped() + QStringLiteral("</td></tr>");
    };
    const QString p = QStringLiteral("PatientRecord/Patient/");
    QString name = r.value(p + QStringLiteral("Name/Last")) + QStringLiteral(", ") + r.value(p + QStringLiteral("Name/First"));
    if (!r.value(p + QStringLiteral("Name/Middle")).isEmpty())
        name += QLatin1Char(' ') + r.value(p + QStringLiteral("Name/Middle"));
    const QString address = QStringList{r.value(p + QStringLiteral("Address/Street")), r.value(p + QStringLiteral("Address/City")),
                                        r.value(p + QStringLiteral("Address/State")) + QLatin1Char(' ') + r.value(p + QStringLiteral("Address/Zip"))}
                                .join(QStringLiteral(", "));
    const QString payor = r.value(QStringLiteral("PatientRecord/Insurance/Policy/Payor"));
    const QString policy = r.value(QStringLiteral("PatientRecord/Insurance/Policy/PolicyNumber"));
    lblSummary->setText(QStringLiteral("<h2>") + name.toHtmlEscaped() + QStringLiteral("</h2><table>")
                        + row(QStringLiteral("Account"), QString::number(account))
                        + row(QStringLiteral("Date of birth"), r.value(p + QStringLiteral("DOB")))
                        + row(QStringLiteral("Sex"), r.value(p + QStringLiteral("Sex")))
                        + row(QStringLiteral("Status"), r.value(p + QStringLiteral("Status")))
                        + row(QStringLiteral("Phone"), r.value(p + QStringLiteral("Phones/Phone")))
                        + row(QStringLiteral("Address"), address)
                        + row(QStringLiteral("Guarantor"), r.value(QStringLiteral("PatientRecord/Guarantor/Name")))
                        + row(QStringLiteral("Insurance"), payor.isEmpty() ? QStringLiteral("None") : payor + QStringLiteral(" · ") + policy)
                        + row(QStringLiteral("Balance"), r.value(QStringLiteral("PatientRecord/Balance/Total")))
                        + QStringLiteral("</table>"));
    cmdDisplayRecord->setEnabled(true);
    return true;
}

void FrontDesk::displayRecord()
{
    if (m_account <= 0)
        return;
    // This operation passes its errors to the host: shown as the host's own.
    try {
        m_lookup.ShowDisplayPatientInfo(QString::number(m_account));
    } catch (const std::exception& e) {
        log(QStringLiteral("ShowDisplayPatientInfo failed: ") + QString::fromUtf8(e.what()));
        QMessageBox::warning(this, windowTitle(), QStringLiteral("The record cannot be shown: ") + QString::fromUtf8(e.what()));
    }
}

void FrontDesk::log(const QString& line)
{
    txtTraffic->appendPlainText(line);
}

} // namespace zelvar::demo
