#include "jsonsearch.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QXmlStreamReader>

#include <utility>

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

// An element of the record's XML, read whole: a record is a few kilobytes.
struct Element
{
    QString name, text;
    QXmlStreamAttributes attributes;
    QList<Element> children;

    const Element* child(QLatin1StringView name) const
    {
        for (const Element& c : children) {
            if (c.name == name)
                return &c;
        }
        return nullptr;
    }
    QString textOf(QLatin1StringView name) const
    {
        const Element* c = child(name);
        return c ? c->text : QString();
    }
    // The texts of the named children, under the JSON names given.
    QJsonObject texts(std::initializer_list<std::pair<const char*, const char*>> names) const
    {
        QJsonObject o;
        for (const auto& [json, xml] : names)
            o.insert(QLatin1String(json), textOf(QLatin1String(xml)));
        return o;
    }
};

std::optional<Element> readElement(const QString& xml)
{
    QXmlStreamReader reader(xml);
    QList<Element> open;
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::StartElement:
            if (open.size() > 8)
                return std::nullopt;    // deeper than any record the server writes
            open.append({reader.name().toString(), {}, reader.attributes(), {}});
            break;
        case QXmlStreamReader::Characters:
            if (!open.isEmpty())
                open.last().text += reader.text();
            break;
        case QXmlStreamReader::EndElement: {
            Element done = open.takeLast();
            if (open.isEmpty())
                return done;
            open.last().children.append(std::move(done));
            break;
        }
        default:
            break;
        }
    }
    return std::nullopt;
}

QJsonValue amount(const QString& text)
{
    bool ok = false;
    const double value = text.toDouble(&ok);
    return ok ? QJsonValue(value) : QJsonValue();
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

std::optional<SearchReplies> readSearchReplies(const QStringList& replies, QString& error)
{
    if (!replies.value(0).startsWith(kOk + QLatin1Char('H'))) {
        error = errorOf(replies);
        return std::nullopt;
    }
    SearchReplies read;
    const QStringList header = replies.first().mid(kOk.size()).split(QLatin1Char('\t'));
    read.total = header.first().mid(1).section(QLatin1Char('/'), 1);
    // A heading is its title, three style characters and two digits of width.
    for (qsizetype i = 1; i < header.size(); ++i)
        read.columns.append(header[i].size() >= 5 ? header[i].chopped(5) : QString());
    for (qsizetype i = 1; i + 1 < replies.size(); ++i) {
        QStringList cells = replies[i].mid(kOk.size()).split(QLatin1Char('\t'));
        SearchLine line{cells.takeFirst(), {}};
        for (const QString& cell : std::as_const(cells))
            line.values.append(valueText(cell));
        read.lines.append(std::move(line));
    }
    read.next = replies.size() > 1 ? replies.last().mid(kOk.size()) : QString();
    return read;
}

QByteArray jsonOfSearchReplies(const QStringList& replies, QString& error)
{
    const std::optional<SearchReplies> read = readSearchReplies(replies, error);
    if (!read)
        return {};
    QJsonArray rows;
    QJsonArray messages;
    for (const SearchLine& line : read->lines) {
        if (line.isMessage()) {
            messages.append(QJsonObject{{QStringLiteral("text"), line.values.value(0)}, {QStringLiteral("at"), rows.size()}});
            continue;
        }
        QJsonObject values;
        for (qsizetype c = 0; c < line.values.size() && c < read->columns.size(); ++c)
            values.insert(read->columns[c], line.values[c]);
        rows.append(QJsonObject{{QStringLiteral("account"), line.account}, {QStringLiteral("values"), values}});
    }
    bool known = false;
    const int lines = QString(read->total).remove(QLatin1Char('+')).toInt(&known);
    return QJsonDocument(QJsonObject{{QStringLiteral("columns"), QJsonArray::fromStringList(read->columns)},
                                     {QStringLiteral("rows"), rows},
                                     {QStringLiteral("messages"), messages},
                                     {QStringLiteral("next"), read->next.isEmpty() ? QJsonValue() : QJsonValue(read->next)},
                                     {QStringLiteral("total"), known ? QJsonValue(lines) : QJsonValue()},
                                     {QStringLiteral("total_at_least"), read->total.endsWith(QLatin1Char('+'))}})
        .toJson(QJsonDocument::Compact);
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

QString requestOfJsonRecord(const QByteArray& body, QString& error)
{
    const QJsonValue account = QJsonDocument::fromJson(body).object().value(QStringLiteral("account"));
    // An account is a number, sent as one or as its digits.
    const QString digits = account.isDouble() ? QString::number(qint64(account.toDouble())) : account.toString();
    static const QRegularExpression number(QStringLiteral("^[0-9]{1,18}$"));
    if (!number.match(digits).hasMatch() || (account.isDouble() && account.toDouble() != double(digits.toLongLong()))) {
        error = QStringLiteral("The record is asked for by account: {\"account\": \"107423\"}.");
        return {};
    }
    return QStringLiteral("|GET|DEMOXML|") + digits + QStringLiteral("||");
}

namespace {

// The patient of a record: who, where, and the phones.
QJsonObject patientJson(const Element& patient)
{
    QJsonObject p = patient.texts({{"account", "Account"}, {"dob", "DOB"}, {"sex", "Sex"}, {"ssn", "SSN"},
                                   {"mrn", "MRN"}, {"status", "Status"}});
    const Element empty;
    const Element& name = *patient.child(QLatin1String("Name"));
    for (const auto& [json, xmlName] : {std::pair{"last", "Last"}, {"first", "First"}, {"middle", "Middle"}})
        p.insert(QLatin1String(json), name.textOf(QLatin1String(xmlName)));
    const Element* address = patient.child(QLatin1String("Address"));
    p.insert(QStringLiteral("address"), (address ? *address : empty)
                                            .texts({{"street", "Street"}, {"city", "City"}, {"state", "State"}, {"zip", "Zip"}}));
    QJsonArray phones;
    if (const Element* list = patient.child(QLatin1String("Phones"))) {
        for (const Element& phone : list->children)
            phones.append(QJsonObject{{QStringLiteral("type"), phone.attributes.value(QLatin1String("type")).toString()},
                                      {QStringLiteral("number"), phone.text}});
    }
    p.insert(QStringLiteral("phones"), phones);
    return p;
}

QJsonArray insuranceJson(const Element& insurance)
{
    QJsonArray out;
    for (const Element& policy : insurance.children) {
        QJsonObject o = policy.texts({{"payor", "Payor"}, {"policy_number", "PolicyNumber"}, {"group", "Group"},
                                      {"subscriber", "Subscriber"}, {"relation", "Relation"}, {"effective", "Effective"}});
        o.insert(QStringLiteral("rank"), policy.attributes.value(QLatin1String("rank")).toInt());
        out.append(o);
    }
    return out;
}

QJsonArray visitsJson(const Element& visits)
{
    QJsonArray out;
    for (const Element& visit : visits.children) {
        QJsonObject o = visit.texts({{"date", "Date"}, {"provider", "Provider"}, {"reason", "Reason"}});
        o.insert(QStringLiteral("charges"), amount(visit.textOf(QLatin1String("Charges"))));
        o.insert(QStringLiteral("payments"), amount(visit.textOf(QLatin1String("Payments"))));
        out.append(o);
    }
    return out;
}

} // namespace

std::optional<QJsonObject> readRecordReplies(const QStringList& replies, QString& error, bool& noPatient)
{
    noPatient = false;
    QString xml;
    for (const QString& reply : replies) {
        if (reply == QLatin1String("|END|"))
            break;
        if (!reply.startsWith(kOk)) {
            error = QStringLiteral("The server's answer is not a record.");
            return std::nullopt;
        }
        xml += reply.mid(kOk.size());
    }
    if (xml.startsWith(QLatin1String("ERROR: "))) {
        error = xml.mid(7);
        return std::nullopt;
    }
    const std::optional<Element> root = readElement(xml);
    const Element* patient = root ? root->child(QLatin1String("Patient")) : nullptr;
    if (!patient) {
        error = QStringLiteral("The server's answer is not a record.");
        return std::nullopt;
    }
    if (!patient->child(QLatin1String("Name"))) {
        noPatient = true;
        error = QStringLiteral("There is no patient with account %1.").arg(patient->textOf(QLatin1String("Account")).left(20));
        return std::nullopt;
    }
    const QJsonObject p = patientJson(*patient);
    static const Element empty;
    const auto part = [&](const char* xmlName) -> const Element& {
        const Element* e = root->child(QLatin1String(xmlName));
        return e ? *e : empty;
    };
    const QJsonArray insurance = insuranceJson(part("Insurance"));
    const QJsonArray visits = visitsJson(part("Visits"));
    const Element& balance = part("Balance");
    return QJsonObject{
        {QStringLiteral("generated"), root->attributes.value(QLatin1String("generated")).toString()},
        {QStringLiteral("practice"), part("Practice").texts({{"name", "Name"}})},
        {QStringLiteral("patient"), p},
        {QStringLiteral("guarantor"), part("Guarantor").texts({{"account", "Account"}, {"name", "Name"}, {"relation", "Relation"},
                                                               {"address", "Address"}, {"phone", "Phone"}})},
        {QStringLiteral("insurance"), insurance},
        {QStringLiteral("visits"), visits},
        {QStringLiteral("balance"), QJsonObject{{QStringLiteral("total"), amount(balance.textOf(QLatin1String("Total")))},
                                                {QStringLiteral("insurance"), amount(balance.textOf(QLatin1String("Insurance")))},
                                                {QStringLiteral("patient"), amount(balance.textOf(QLatin1String("Patient")))}}}};
}

} // namespace zelvar::service
