#include "scenarios.h"

#include "frontdesk.h"
#include "newpatientdialog.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace zelvar::demo {

namespace {

// Saves a picture of the window with this name the moment it is up (after it has painted),
// and ends the program.
class Picture : public QObject
{
public:
    Picture(QString window, QString file)
        : m_window(std::move(window))
        , m_file(std::move(file))
    {
        qApp->installEventFilter(this);
        // A scenario whose window never shows must not hang a script that waits for it.
        QTimer::singleShot(30000, this, [] {
            std::fprintf(stderr, "The scenario's window did not show.\n");
            QApplication::exit(1);
        });
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show && watched->isWidgetType() && watched->objectName() == m_window
            && static_cast<QWidget*>(watched)->isWindow() && !m_taken) {
            m_taken = true;
            QPointer<QWidget> window = static_cast<QWidget*>(watched);
            QTimer::singleShot(600, this, [this, window] {
                const bool saved = window && window->grab().save(m_file);
                if (!saved)
                    std::fprintf(stderr, "Could not save %s\n", qPrintable(m_file));
                std::printf("Saved %s\n", qPrintable(m_file));
                std::fflush(stdout);
                // At once: closing the windows would let the scenario's steps go on (a closed
                // duplicate list would register the new patient).
                std::_Exit(saved ? 0 : 1);
            });
        }
        return false;
    }

private:
    QString m_window;
    QString m_file;
    bool m_taken = false;
};

// A new patient as a clerk fills the form: one the practice has (from its record), or not.
void fillNewPatient(NewPatientDialog& d, bool existing)
{
    d.txtLast->setText(existing ? QStringLiteral("SMITH") : QStringLiteral("OKONKWO"));
    d.txtFirst->setText(existing ? QStringLiteral("JOHN") : QStringLiteral("ADAEZE"));
    d.txtMiddle->setText(QStringLiteral("A"));
    d.txtDob->setText(QStringLiteral("04/12/1983"));
    d.txtSex->setText(QStringLiteral("F"));
    d.txtSsn->setText(QStringLiteral("412-55-0198"));
    d.txtPhone->setText(QStringLiteral("(217) 555-0148"));
    d.txtStreet->setText(QStringLiteral("18 Prairie Drive"));
    d.txtCity->setText(QStringLiteral("Springfield"));
    d.txtState->setText(QStringLiteral("IL"));
    d.txtZip->setText(QStringLiteral("62704"));
    d.txtPayor->setText(QStringLiteral("BPH"));
    d.txtPolicy->setText(QStringLiteral("BPH-558812"));
}

// Runs `step` on the new-patient dialog once it is up.
void onNewPatientDialog(std::function<void(NewPatientDialog&)> step)
{
    QTimer::singleShot(0, qApp, [step] {
        auto* poll = new QTimer(qApp);
        QObject::connect(poll, &QTimer::timeout, qApp, [poll, step] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                if (auto* d = qobject_cast<NewPatientDialog*>(w); d && d->isVisible()) {
                    poll->stop();
                    poll->deleteLater();
                    step(*d);
                    return;
                }
            }
        });
        poll->start(50);
    });
}

} // namespace

QStringList scenarioNames()
{
    return {QStringLiteral("frontdesk"), QStringLiteral("lookup"), QStringLiteral("duplicates"),
            QStringLiteral("codelookup"), QStringLiteral("record"), QStringLiteral("newpatient"),
            QStringLiteral("linkfailure")};
}

bool runScenario(const QString& name, FrontDesk& desk, const QString& screenshot)
{
    if (!scenarioNames().contains(name))
        return false;
    const QString window = name == QLatin1String("frontdesk")    ? QStringLiteral("FrontDesk")
                         : name == QLatin1String("lookup")       ? QStringLiteral("frmPatLookup")
                         : name == QLatin1String("record")       ? QStringLiteral("frmBrowsePrint")
                         : name == QLatin1String("newpatient")   ? QStringLiteral("NewPatientDialog")
                         : name == QLatin1String("linkfailure")  ? QStringLiteral("LinkFailure")
                                                                 : QStringLiteral("frmLookupSch");
    auto* picture = new Picture(window, screenshot);
    picture->setParent(qApp);
    if (name == QLatin1String("linkfailure")) {
        // The desk is open; the search waits for a line on standard input, which the script
        // sends once it has removed the desk or stopped the server.
        auto* go = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, &desk);
        QObject::connect(go, &QSocketNotifier::activated, &desk, [go, &desk] {
            go->setEnabled(false);
            desk.txtFind->setText(QStringLiteral("smith, j"));
            desk.find();
        });
        return true;
    }
    QTimer::singleShot(300, &desk, [name, &desk] {
        if (name == QLatin1String("frontdesk")) {
            desk.showPatient(100234);
            desk.hide();
            desk.show();   // the picture is taken as it shows again, with the patient
        } else if (name == QLatin1String("lookup")) {
            desk.txtFind->setText(QStringLiteral("smith, j"));
            desk.find();
        } else if (name == QLatin1String("record")) {
            desk.showPatient(100234);
            desk.displayRecord();
        } else {
            onNewPatientDialog([name](NewPatientDialog& d) {
                fillNewPatient(d, name == QLatin1String("duplicates"));
                if (name == QLatin1String("duplicates"))
                    d.cmdSave->click();
                else if (name == QLatin1String("codelookup"))
                    d.cmdPayorLookup->click();
            });
            desk.newPatient();
        }
    });
    return true;
}

} // namespace zelvar::demo
