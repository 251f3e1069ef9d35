#include "demowindow.h"

#include "host/standardutils.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QVBoxLayout>

#include <functional>

namespace zelvar::demo {

// Passes every request to the server and shows it, with its reply messages, in the traffic pane.
class LoggingLink : public HostLink
{
public:
    LoggingLink(std::shared_ptr<HostLink> server, std::function<void(const QString&)> log)
        : m_server(std::move(server)), m_log(std::move(log)) {}

    bool GetServerStringData(const QString& request, QStringList& replies, const QString& third,
                             QString& fourth) override
    {
        m_log(QStringLiteral("→ ") + request);
        const bool answered = m_server->GetServerStringData(request, replies, third, fourth);
        if (!answered)
            m_log(QStringLiteral("← (not answered)"));
        for (const QString& reply : std::as_const(replies))
            m_log(QStringLiteral("← ") + reply);
        return answered;
    }
    bool GetServerString(const QString& request, QString& reply, const QString& third, QString& fourth) override
    {
        m_log(QStringLiteral("→ ") + request);
        const bool answered = m_server->GetServerString(request, reply, third, fourth);
        m_log(answered ? QStringLiteral("← ") + reply : QStringLiteral("← (not answered)"));
        return answered;
    }
    QString ContextValue1() override { return m_server->ContextValue1(); }
    QString ContextValue2() override { return m_server->ContextValue2(); }

private:
    std::shared_ptr<HostLink> m_server;
    std::function<void(const QString&)> m_log;
};

// The reference utilities, with error reports shown in the traffic pane as well.
class LoggingUtils : public host::StandardUtils
{
public:
    explicit LoggingUtils(std::function<void(const QString&)> log) : m_log(std::move(log)) {}

    void ReportError(const QString& message) override
    {
        host::StandardUtils::ReportError(message);
        m_log(QStringLiteral("report: ") + message);
    }

private:
    std::function<void(const QString&)> m_log;
};

namespace {

QLineEdit* field(QFormLayout* form, const QString& label, const QString& name, const QString& text = {})
{
    auto* edit = new QLineEdit(text);
    edit->setObjectName(name);
    form->addRow(label, edit);
    return edit;
}

QCheckBox* flag(QFormLayout* form, const QString& label, const QString& name)
{
    auto* box = new QCheckBox(label);
    box->setObjectName(name);
    form->addRow(QString(), box);
    return box;
}

QPushButton* runButton(QFormLayout* form, const QString& caption, const QString& name)
{
    auto* button = new QPushButton(caption);
    button->setObjectName(name);
    form->addRow(QString(), button);
    return button;
}

QGroupBox* group(const QString& title, QFormLayout*& form)
{
    auto* box = new QGroupBox(title);
    form = new QFormLayout(box);
    return box;
}

} // namespace

DemoWindow::DemoWindow(std::shared_ptr<HostLink> server, std::function<void(qint64)> onChosen, QWidget* parent)
    : QMainWindow(parent)
    , m_onChosen(std::move(onChosen))
{
    setObjectName(QStringLiteral("DemoWindow"));
    setWindowTitle(QStringLiteral("Zelvar Patient Lookup – demo host"));

    auto logger = [this](const QString& line) { log(line); };
    m_link = std::make_shared<LoggingLink>(std::move(server), logger);
    m_utils = std::make_shared<LoggingUtils>(logger);
    m_lookup.InitPatLookup(m_link, m_utils);

    auto* operations = new QWidget;
    auto* column = new QVBoxLayout(operations);
    column->addWidget(patientLookupPanel());
    column->addWidget(duplicatePanel());
    column->addWidget(miscPanel());
    column->addWidget(recordPanel());
    column->addStretch();

    auto* right = new QWidget;
    auto* rightLayout = new QVBoxLayout(right);
    m_database = new QLabel;
    m_database->setObjectName(QStringLiteral("lblDatabase"));
    rightLayout->addWidget(m_database);
    auto* resultRow = new QHBoxLayout;
    resultRow->addWidget(new QLabel(QStringLiteral("Returned:")));
    m_result = new QLineEdit;
    m_result->setObjectName(QStringLiteral("txtResult"));
    m_result->setReadOnly(true);
    resultRow->addWidget(m_result);
    rightLayout->addLayout(resultRow);
    rightLayout->addWidget(new QLabel(QStringLiteral("Server traffic and reports:")));
    m_traffic = new QPlainTextEdit;
    m_traffic->setObjectName(QStringLiteral("txtTraffic"));
    m_traffic->setReadOnly(true);
    m_traffic->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_traffic->setFont(QFont(QStringLiteral("Monospace")));
    rightLayout->addWidget(m_traffic);

    auto* splitter = new QSplitter;
    splitter->addWidget(operations);
    splitter->addWidget(right);
    splitter->setStretchFactor(1, 1);
    setCentralWidget(splitter);
    resize(1100, 680);
}

DemoWindow::~DemoWindow() = default;

QWidget* DemoWindow::patientLookupPanel()
{
    QFormLayout* form = nullptr;
    QGroupBox* box = group(QStringLiteral("Patient lookup"), form);
    QLineEdit* text = field(form, QStringLiteral("Search text"), QStringLiteral("strAcc"), QStringLiteral("smith"));
    QLineEdit* searchBy = field(form, QStringLiteral("Search by"), QStringLiteral("SearchBy"));
    QLineEdit* mode = field(form, QStringLiteral("Mode"), QStringLiteral("Mode"));
    QCheckBox* always = flag(form, QStringLiteral("Always show lookup"), QStringLiteral("AlwaysShowLookup"));
    QCheckBox* modeSwitch = flag(form, QStringLiteral("Allow mode switch"), QStringLiteral("AllowModeSwitch"));
    QPushButton* run = runButton(form, QStringLiteral("Patient lookup"), QStringLiteral("cmdPatientLookup"));
    connect(run, &QPushButton::clicked, this, [=, this] {
        const QString result = m_lookup.PatientLookupExtended(text->text(), searchBy->text(), always->isChecked(),
                                                              mode->text(), modeSwitch->isChecked());
        showResult(QStringLiteral("PatientLookupExtended"), result);
        bool isAccount = false;
        const qint64 account = result.section(QStringLiteral("\u00E7\u00E7"), 0, 0).toLongLong(&isAccount);
        if (isAccount && m_onChosen)
            m_onChosen(account);
    });
    return box;
}

QWidget* DemoWindow::duplicatePanel()
{
    QFormLayout* form = nullptr;
    QGroupBox* box = group(QStringLiteral("Duplicate check"), form);
    QLineEdit* ssn = field(form, QStringLiteral("SSN"), QStringLiteral("SSN"));
    QLineEdit* account = field(form, QStringLiteral("Account"), QStringLiteral("Account"));
    QLineEdit* name = field(form, QStringLiteral("Name"), QStringLiteral("PatName"), QStringLiteral("SMITH,JOHN"));
    QLineEdit* dob = field(form, QStringLiteral("Date of birth"), QStringLiteral("DOB"));
    QLineEdit* policy = field(form, QStringLiteral("Policy"), QStringLiteral("Policy"));
    QLineEdit* medRec = field(form, QStringLiteral("Medical record"), QStringLiteral("MedRec"));
    QPushButton* run = runButton(form, QStringLiteral("Check for duplicate patient"), QStringLiteral("cmdDuplicate"));
    connect(run, &QPushButton::clicked, this, [=, this] {
        const QString result = m_lookup.CheckForDuplicatePatient(ssn->text(), account->text(), name->text(),
                                                                 dob->text(), policy->text(), medRec->text());
        showResult(QStringLiteral("CheckForDuplicatePatient"), result);
    });
    return box;
}

QWidget* DemoWindow::miscPanel()
{
    QFormLayout* form = nullptr;
    QGroupBox* box = group(QStringLiteral("Code lookup"), form);
    QLineEdit* code = field(form, QStringLiteral("Code table"), QStringLiteral("MiscCode"), QStringLiteral("GENDER"));
    QLineEdit* account = field(form, QStringLiteral("Account"), QStringLiteral("AcctNumber"));
    QCheckBox* all = flag(form, QStringLiteral("Return all columns"), QStringLiteral("ReturnAllColumns"));
    QPushButton* run = runButton(form, QStringLiteral("Code lookup"), QStringLiteral("cmdMiscLookup"));
    connect(run, &QPushButton::clicked, this, [=, this] {
        showResult(QStringLiteral("MiscLookup"), m_lookup.MiscLookup(code->text(), account->text(), all->isChecked()));
    });
    return box;
}

QWidget* DemoWindow::recordPanel()
{
    QFormLayout* form = nullptr;
    QGroupBox* box = group(QStringLiteral("Patient record"), form);
    QLineEdit* account = field(form, QStringLiteral("Account"), QStringLiteral("AcctNo"), QStringLiteral("100234"));
    QPushButton* run = runButton(form, QStringLiteral("Display patient record"), QStringLiteral("cmdDisplay"));
    connect(run, &QPushButton::clicked, this, [=, this] {
        // This operation passes its errors to the host: show them as the host would.
        try {
            m_lookup.ShowDisplayPatientInfo(account->text());
            showResult(QStringLiteral("ShowDisplayPatientInfo"), QStringLiteral("(closed)"));
        } catch (const std::exception& e) {
            log(QStringLiteral("ShowDisplayPatientInfo failed: ") + QString::fromUtf8(e.what()));
            showResult(QStringLiteral("ShowDisplayPatientInfo"), QStringLiteral("(failed)"));
        }
    });
    return box;
}

void DemoWindow::setDatabaseDescription(const QString& text)
{
    m_database->setText(QStringLiteral("Practice database: ") + text);
}

void DemoWindow::showResult(const QString& operation, const QString& result)
{
    m_result->setText(result);
    log(operation + QStringLiteral(" returned \"") + result + QStringLiteral("\""));
}

void DemoWindow::log(const QString& line)
{
    m_traffic->appendPlainText(line);
}

} // namespace zelvar::demo
