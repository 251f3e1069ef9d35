#pragma once

// The practice server as the desks meet it: the real program, run as its own process on a
// free loopback port, with a certificate made for the test and a desk's token.

#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>

namespace zelvar::test {

class ServerProcess
{
public:
    // Makes the certificate, fills the database (when `patients` > 0) and adds a desk (DESK1).
    explicit ServerProcess(QString database, int patients = 2000, const QString& desk = QStringLiteral("DESK1"))
        : m_database(std::move(database))
    {
        const QString cert = certificate();
        run({QStringLiteral("init"), QStringLiteral("--cert"), cert, QStringLiteral("--key"), key(),
             QStringLiteral("--host"), QStringLiteral("localhost")});
        fingerprint = m_lastOutput.section(QStringLiteral("Fingerprint: "), 1).section(QLatin1Char('\n'), 0, 0).trimmed();
        keyPin = m_lastOutput.section(QStringLiteral("Key pin:"), 1).section(QLatin1Char('\n'), 0, 0).trimmed();
        if (patients > 0)
            run({QStringLiteral("generate"), QString::number(patients), QStringLiteral("--db"), m_database});
        token = addDesk(desk);
    }
    ~ServerProcess() { kill(); }

    QString addDesk(const QString& name)
    {
        run({QStringLiteral("desk"), QStringLiteral("add"), name, QStringLiteral("--db"), m_database});
        return m_lastOutput.section(QStringLiteral("Token: "), 1).section(QLatin1Char('\n'), 0, 0).trimmed();
    }

    // Starts serving; on the same port as before when it served already. `launcher` runs the
    // program (prlimit, say).
    bool start(const QStringList& extra = {}, const QStringList& launcher = {})
    {
        m_process = std::make_unique<QProcess>();
        m_process->setProcessChannelMode(QProcess::MergedChannels);
        const QStringList arguments = QStringList{QStringLiteral("serve"), QStringLiteral("--db"), m_database,
                                                  QStringLiteral("--cert"), certificate(), QStringLiteral("--key"), key(),
                                                  QStringLiteral("--listen"), QStringLiteral("127.0.0.1:%1").arg(port)}
            + extra;
        if (launcher.isEmpty())
            m_process->start(QStringLiteral(ZELVAR_SERVER_PROGRAM), arguments);
        else
            m_process->start(launcher.first(), launcher.mid(1) + QStringList{QStringLiteral(ZELVAR_SERVER_PROGRAM)} + arguments);
        static const QRegularExpression serving(QStringLiteral("https://127\\.0\\.0\\.1:(\\d+)"));
        QString output;
        while (m_process->waitForReadyRead(10000)) {
            output += QString::fromUtf8(m_process->readAll());
            const QRegularExpressionMatch m = serving.match(output);
            const bool plain = extra.contains(QLatin1String("--plain-loopback"));
            if (m.hasMatch() && output.contains(QLatin1String("fingerprint"))
                && (!plain || output.contains(QLatin1String("http://127.0.0.1:")))) {
                port = m.captured(1).toUShort();
                startOutput = output;
                if (plain)
                    plainPort = output.section(QStringLiteral("http://127.0.0.1:"), 1).section(QLatin1Char(' '), 0, 0).toUShort();
                return true;
            }
        }
        ADD_FAILURE() << "the server did not start: " << output.toStdString();
        return false;
    }
    void signal(int number)
    {
        if (m_process && m_process->state() == QProcess::Running)
            ::kill(pid_t(m_process->processId()), number);
    }
    void kill()
    {
        if (!m_process)
            return;
        signal(SIGCONT);
        m_process->kill();
        m_process->waitForFinished(5000);
        m_process.reset();
    }
    // The server's own lines since it started (what it logged).
    QString output()
    {
        if (!m_process)
            return {};
        while (m_process->waitForReadyRead(100)) {   // what the pipe holds, not only what was read
        }
        return QString::fromUtf8(m_process->readAll());
    }
    qint64 pid() const { return m_process ? m_process->processId() : 0; }
    // The exit code once it has ended by itself within the time; -1 when it has not.
    int waitForExit(int withinMs)
    {
        if (!m_process || !m_process->waitForFinished(withinMs) || m_process->exitStatus() != QProcess::NormalExit)
            return -1;
        return m_process->exitCode();
    }

    // Runs a command of the program and returns what it printed; it is expected to succeed
    // unless its exit code is asked for.
    QString run(const QStringList& arguments, int* exitCode = nullptr)
    {
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(QStringLiteral(ZELVAR_SERVER_PROGRAM), arguments);
        p.waitForFinished(120000);
        m_lastOutput = QString::fromUtf8(p.readAll());
        if (exitCode)
            *exitCode = p.exitCode();
        else
            EXPECT_EQ(p.exitCode(), 0) << arguments.join(QLatin1Char(' ')).toStdString() << ": " << m_lastOutput.toStdString();
        return m_lastOutput;
    }

    QString url() const { return QStringLiteral("https://127.0.0.1:%1").arg(port); }
    QString certificate() const { return m_folder.filePath(QStringLiteral("server.crt")); }
    QString key() const { return m_folder.filePath(QStringLiteral("server.key")); }
    const QString& database() const { return m_database; }

    QString token;
    QString fingerprint;
    QString keyPin;         // sha256//...
    QString startOutput;    // what the server said until it was serving
    quint16 port = 0;
    quint16 plainPort = 0;

private:
    QTemporaryDir m_folder;
    QString m_database;
    QString m_lastOutput;
    std::unique_ptr<QProcess> m_process;
};

} // namespace zelvar::test
