#include "jsonsearch.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace zelvar::service {
namespace {

// The key names of the JSON form and the captions the desks send for them.
struct KeyName { const char* name; const char* caption; };
const KeyName kKeys[] = {
    {"name", "&PAT NAME"}, {"account", "&ACCT#"},   {"guarantor", "&GUAR"}, {"dob", "&DOB"},
    {"ssn", "&SS#"},       {"phone", "P&HONE#"},    {"mrn", "&MR#"},        {"policy", "P&OLICY#"},
    {"transaction", "&TRANS#"}, {"claim", "&CLAIM#"}, {"encounter", "&ENC"}, {"accession", "&ACCESSION#"},
};

QString keyNames()
{
    QStringList names;
    for (const KeyName& k : kKeys)
        names.append(QString::fromLatin1(k.name));
    return names.join(QStringLiteral(", "));
}

// A value's text without the style characters the desks' grid reads (three, or the one
// U+0002 that stands for none).
QString valueText(const QString& cell)
{
    if (cell.endsWith(QChar(2)))
        return cell.chopped(1);
    return cell.size() >= 3 ? cell.chopped(3) : QString();
}

const QLatin1String kOk("|OK||");

// The server's sentence in an error reply ("|OK||ERROR: ..."), or what came instead of the
// replies expected.
QString errorOf(const QStringList& replies)
{
    const QString said = replies.value(0).mid(kOk.size());
    return said.startsWith(QLatin1String("ERROR: ")) ? said.mid(7) : said;
}

} // namespace

QString requestOfJsonSearch(const QByteArray& body, QString& error)
{
    QJsonParseError parsed;
    const QJsonDocument document = QJsonDocument::fromJson(body, &parsed);
    if (parsed.error != QJsonParseError::NoError || !document.isObject()) {
        error = QStringLiteral("The search is a JSON object: {\"key\": \"name\", \"text\": \"smith, john\", \"after\": null}.");
        return {};
    }
    const QJsonObject o = document.object();
    const QJsonValue keyValue = o.value(QStringLiteral("key"));
    // Left out, the key is the name; given, it is one of the names, never a number or a list.
    const QString key = keyValue.isUndefined() ? QStringLiteral("name") : keyValue.toString(QStringLiteral("?"));
    const char* caption = nullptr;
    for (const KeyName& k : kKeys) {
        if (key == QLatin1String(k.name))
            caption = k.caption;
    }
    if (!caption) {
        error = QStringLiteral("There is no search key \"%1\"; the keys are %2.").arg(key.left(40), keyNames());
        return {};
    }
    if (!o.value(QStringLiteral("text")).isString()) {
        error = QStringLiteral("The search needs its \"text\".");
        return {};
    }
    const QJsonValue after = o.value(QStringLiteral("after"));
    if (!after.isNull() && !after.isUndefined() && !after.isString()) {
        error = QStringLiteral("\"after\" is null or the \"next\" of the page before.");
        return {};
    }
    const QString text = o.value(QStringLiteral("text")).toString();
    // The request string's fields are separated by "|": a text holding one would be another
    // request.
    if (text.contains(QLatin1Char('|')) || after.toString().contains(QLatin1Char('|'))) {
        error = QStringLiteral("A search text holds no \"|\".");
        return {};
    }
    return QStringLiteral("|GET|KEY|") + text + QLatin1Char('|') + QLatin1String(caption) + QLatin1Char('|') + after.toString();
}

QByteArray jsonOfSearchReplies(const QStringList& replies, QString& error)
{
    if (!replies.value(0).startsWith(kOk + QLatin1Char('H'))) {
        error = errorOf(replies);
        return {};
    }
    const QStringList header = replies.first().mid(kOk.size()).split(QLatin1Char('\t'));
    const QString count = header.first().mid(1);
    QJsonObject out;
    QStringList titles;
    QJsonArray columns;
    // A heading is its title, three style characters and two digits of width.
    for (qsizetype i = 1; i < header.size(); ++i) {
        titles.append(header[i].size() >= 5 ? header[i].chopped(5) : QString());
        columns.append(titles.last());
    }
    out.insert(QStringLiteral("columns"), columns);
    QJsonArray rows;
    QJsonArray messages;
    for (qsizetype i = 1; i + 1 < replies.size(); ++i) {
        const QStringList cells = replies[i].mid(kOk.size()).split(QLatin1Char('\t'));
        if (cells.first() == QLatin1String("0")) {
            messages.append(QJsonObject{{QStringLiteral("text"), valueText(cells.value(1))},
                                        {QStringLiteral("at"), rows.size()}});
            continue;
        }
        QJsonObject values;
        for (qsizetype c = 1; c < cells.size() && c - 1 < titles.size(); ++c)
            values.insert(titles[c - 1], valueText(cells[c]));
        rows.append(QJsonObject{{QStringLiteral("account"), cells.first()}, {QStringLiteral("values"), values}});
    }
    out.insert(QStringLiteral("rows"), rows);
    out.insert(QStringLiteral("messages"), messages);
    const QString next = replies.size() > 1 ? replies.last().mid(kOk.size()) : QString();
    out.insert(QStringLiteral("next"), next.isEmpty() ? QJsonValue() : QJsonValue(next));
    const QString total = count.section(QLatin1Char('/'), 1);
    bool known = false;
    const int lines = QString(total).remove(QLatin1Char('+')).toInt(&known);
    out.insert(QStringLiteral("total"), known ? QJsonValue(lines) : QJsonValue());
    out.insert(QStringLiteral("total_at_least"), total.endsWith(QLatin1Char('+')));
    return QJsonDocument(out).toJson(QJsonDocument::Compact);
}

QString requestOfJsonDuplicateCheck(const QByteArray& body, QString& error)
{
    const QJsonDocument document = QJsonDocument::fromJson(body);
    if (!document.isObject()) {
        error = QStringLiteral("The check is a JSON object: {\"name\": \"SMITH, JOHN\", \"dob\": \"02/10/1969\", \"ssn\": \"\"}.");
        return {};
    }
    const QJsonObject o = document.object();
    QStringList fields;
    for (const char* name : {"ssn", "account", "name", "dob", "policy", "mrn"}) {
        const QJsonValue v = o.value(QLatin1String(name));
        if (!v.isUndefined() && !v.isNull() && !v.isString()) {
            error = QStringLiteral("\"%1\" is a text.").arg(QLatin1String(name));
            return {};
        }
        // Tabs separate the fields and "|" the request's: neither may be in one.
        if (v.toString().contains(QLatin1Char('\t')) || v.toString().contains(QLatin1Char('|'))) {
            error = QStringLiteral("\"%1\" holds a tab or a \"|\".").arg(QLatin1String(name));
            return {};
        }
        fields.append(v.toString());
    }
    if (fields[2].trimmed().isEmpty() && fields[0].trimmed().isEmpty()) {
        error = QStringLiteral("The check needs at least the \"name\" or the \"ssn\".");
        return {};
    }
    return QStringLiteral("|GET|DUPPAT|") + fields.join(QLatin1Char('\t'));
}

QByteArray jsonOfDuplicateReplies(const QStringList& replies, QString& error)
{
    if (!replies.value(0).startsWith(QLatin1String("|GH|"))) {
        error = errorOf(replies);
        return {};
    }
    // The last heading says what was left out: "Matched on (12 more not shown)".
    int moreNotShown = 0;
    const QString lastHeading = replies.first().section(QLatin1Char('\t'), -2, -2);
    if (const qsizetype open = lastHeading.indexOf(QLatin1Char('(')); open >= 0)
        moreNotShown = lastHeading.mid(open + 1).section(QLatin1Char(' '), 0, 0).toInt();
    // Each cell ends in seven style characters.
    const auto text = [](const QString& cell) { return cell.size() >= 7 ? cell.chopped(7) : QString(); };
    QJsonArray candidates;
    for (const QString& reply : replies) {
        if (!reply.startsWith(QLatin1String("|GR|0|")))
            continue;
        const QStringList cells = reply.mid(6).split(QLatin1Char('\t'));
        QJsonArray matched;
        for (const QString& reason : text(cells.value(6)).split(QStringLiteral(", "), Qt::SkipEmptyParts))
            matched.append(reason);
        candidates.append(QJsonObject{{QStringLiteral("account"), cells.value(0)},
                                      {QStringLiteral("name"), text(cells.value(2))},
                                      {QStringLiteral("dob"), text(cells.value(3))},
                                      {QStringLiteral("ssn_last_four"), text(cells.value(4)).right(4)},
                                      {QStringLiteral("score"), text(cells.value(5)).toDouble()},
                                      {QStringLiteral("matched"), matched}});
    }
    return QJsonDocument(QJsonObject{{QStringLiteral("candidates"), candidates},
                                     {QStringLiteral("more_not_shown"), moreNotShown}})
        .toJson(QJsonDocument::Compact);
}

} // namespace zelvar::service
