#include "demoserver.h"

#include <QList>

namespace zelvar::demo {
namespace {

struct Patient { const char* account; const char* name; const char* dob; const char* phone; };

const Patient kPatients[] = {
    {"100234", "SMITH,JOHN A", "03/14/1962", "(555) 201-3344"},
    {"100871", "SMITH,JOANNA", "11/02/1988", "(555) 201-9120"},
    {"101402", "SMITHERS,WALTER", "07/30/1945", "(555) 310-4471"},
    {"102230", "JONES,MARY K", "01/22/1979", "(555) 498-0032"},
    {"102911", "GARCIA,LUIS", "09/09/2001", "(555) 771-6210"},
};

QString paddedCount(int n)
{
    return QStringLiteral("%1").arg(n, 5, 10, QLatin1Char('0'));
}

// One page of the patient search: header, rows whose key or name starts with the text, trailer.
QStringList searchReply(const QString& text)
{
    QStringList rows;
    for (const Patient& p : kPatients) {
        const QString account = QString::fromLatin1(p.account);
        const QString name = QString::fromLatin1(p.name);
        if (!text.isEmpty() && !name.startsWith(text) && !account.startsWith(text))
            continue;
        rows.append(QStringLiteral("|OK||") + account + QStringLiteral("\t") + name + QStringLiteral("ABL\t")
                    + QString::fromLatin1(p.dob) + QStringLiteral("ABC\t") + QString::fromLatin1(p.phone)
                    + QStringLiteral("ABL"));
    }
    QStringList reply{QStringLiteral("|OK||H") + paddedCount(int(rows.size()))
                      + QStringLiteral("\tPatient NameKBL25\tDate of BirthKBC10\tPhoneKBL14")};
    reply += rows;
    reply.append(QStringLiteral("|OK||"));
    return reply;
}

} // namespace

std::shared_ptr<host::ScriptedHostLink> makeDemoServer()
{
    auto server = std::make_shared<host::ScriptedHostLink>();
    server->setResponder([](const QString& request) -> std::optional<QStringList> {
        const QStringList fields = request.split(QLatin1Char('|'));
        // "|GET|KEY|text|caption|" splits into "", "GET", "KEY", text, caption, ...
        if (fields.size() >= 4 && fields[1] == QLatin1String("GET") && fields[2] == QLatin1String("KEY"))
            return searchReply(fields[3]);
        if (request.startsWith(QLatin1String("|GET|SYS|")))
            return QStringList{QStringLiteral("|OK||,")};
        return QStringList{QStringLiteral("|OK||ERROR: the demo server does not know this request")};
    });
    return server;
}

} // namespace zelvar::demo
