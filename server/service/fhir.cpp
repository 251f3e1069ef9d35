#include "fhir.h"

#include "jsonsearch.h"

#include "practice/names.h"

#include <QDate>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QRegularExpression>
#include <QUrl>
#include <QUrlQuery>

#include <algorithm>
#include <optional>
#include <utility>

namespace zelvar::service::fhir {
namespace {

QByteArray compact(const QJsonObject& o)
{
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

// FHIR's JSON has no empty strings, arrays or objects: a value that is empty is left out.
void put(QJsonObject& o, const char* key, const QJsonValue& value)
{
    const bool empty = value.isNull() || value.isUndefined() || (value.isString() && value.toString().isEmpty())
        || (value.isArray() && value.toArray().isEmpty()) || (value.isObject() && value.toObject().isEmpty());
    if (!empty)
        o.insert(QLatin1String(key), value);
}

QJsonObject identifier(const char* system, const QString& value)
{
    return {{QStringLiteral("system"), QLatin1String(system)}, {QStringLiteral("value"), value}};
}

QString isoDate(const QString& usDate)
{
    const QDate d = QDate::fromString(usDate, QStringLiteral("MM/dd/yyyy"));
    return d.isValid() ? d.toString(Qt::ISODate) : QString();
}

QString gender(const QString& sex)
{
    if (sex == QLatin1String("M"))
        return QStringLiteral("male");
    if (sex == QLatin1String("F"))
        return QStringLiteral("female");
    return sex.isEmpty() ? QString() : QStringLiteral("unknown");
}

QJsonObject humanName(const QString& family, const QStringList& given, const QString& text)
{
    QJsonObject name{{QStringLiteral("use"), QStringLiteral("official")}};
    put(name, "family", family);
    QJsonArray givens;
    for (const QString& g : given) {
        if (!g.isEmpty())
            givens.append(g);
    }
    put(name, "given", givens);
    put(name, "text", text);
    return name;
}

QJsonObject phone(const QString& number, const char* use)
{
    return {{QStringLiteral("system"), QStringLiteral("phone")}, {QStringLiteral("value"), number},
            {QStringLiteral("use"), QLatin1String(use)}};
}

// A Patient from the record the desks' record display reads.
QJsonObject patientOfRecord(const QJsonObject& record)
{
    const QJsonObject p = record.value(QStringLiteral("patient")).toObject();
    const auto text = [&p](const char* key) { return p.value(QLatin1String(key)).toString(); };
    QJsonObject patient{{QStringLiteral("resourceType"), QStringLiteral("Patient")}, {QStringLiteral("id"), text("account")}};
    QJsonArray identifiers{identifier(kAccountSystem, text("account"))};
    if (!text("mrn").isEmpty())
        identifiers.append(identifier(kMrnSystem, text("mrn")));
    if (!text("ssn").isEmpty())
        identifiers.append(identifier(kSsnSystem, text("ssn")));
    patient.insert(QStringLiteral("identifier"), identifiers);
    patient.insert(QStringLiteral("active"), text("status") == QLatin1String("Active"));
    const QString shown = text("last") + QStringLiteral(", ") + QStringList{text("first"), text("middle")}.join(QLatin1Char(' ')).trimmed();
    patient.insert(QStringLiteral("name"), QJsonArray{humanName(text("last"), {text("first"), text("middle")}, shown)});
    QJsonArray telecom;
    for (const QJsonValue& v : p.value(QStringLiteral("phones")).toArray()) {
        const QJsonObject number = v.toObject();
        const QString value = number.value(QStringLiteral("number")).toString();
        if (!value.isEmpty())
            telecom.append(phone(value, number.value(QStringLiteral("type")).toString() == QLatin1String("Mobile") ? "mobile" : "home"));
    }
    put(patient, "telecom", telecom);
    put(patient, "gender", gender(text("sex")));
    put(patient, "birthDate", isoDate(text("dob")));
    const QJsonObject a = p.value(QStringLiteral("address")).toObject();
    QJsonObject address{{QStringLiteral("use"), QStringLiteral("home")}};
    put(address, "line", a.value(QStringLiteral("street")).toString().isEmpty() ? QJsonArray() : QJsonArray{a.value(QStringLiteral("street"))});
    put(address, "city", a.value(QStringLiteral("city")));
    put(address, "state", a.value(QStringLiteral("state")));
    put(address, "postalCode", a.value(QStringLiteral("zip")));
    if (address.size() > 1)
        patient.insert(QStringLiteral("address"), QJsonArray{address});
    return patient;
}

// A row of the desks' result list, by its column titles.
struct Row
{
    const QStringList& columns;
    const SearchLine& line;
    QString value(const char* title) const { return line.values.value(columns.indexOf(QLatin1String(title))); }
    QString family() const { return value("Patient Name").section(QLatin1Char(','), 0, 0).trimmed(); }
    QStringList given() const
    {
        return value("Patient Name").section(QLatin1Char(','), 1).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    }
};

// A Patient from a row of the result list: what the list shows of them.
QJsonObject patientOfRow(const Row& row)
{
    QJsonObject patient{{QStringLiteral("resourceType"), QStringLiteral("Patient")}, {QStringLiteral("id"), row.line.account}};
    QJsonArray identifiers{identifier(kAccountSystem, row.line.account)};
    if (!row.value("MR#").isEmpty())
        identifiers.append(identifier(kMrnSystem, row.value("MR#")));
    patient.insert(QStringLiteral("identifier"), identifiers);
    patient.insert(QStringLiteral("active"), row.value("Status") == QLatin1String("Active"));
    patient.insert(QStringLiteral("name"), QJsonArray{humanName(row.family(), row.given(), row.value("Patient Name"))});
    if (!row.value("Phone").isEmpty())
        patient.insert(QStringLiteral("telecom"), QJsonArray{phone(row.value("Phone"), "home")});
    put(patient, "gender", gender(row.value("Sex")));
    put(patient, "birthDate", isoDate(row.value("DOB")));
    return patient;
}

struct Refusal
{
    QString message;
};

// What a search asks: the one key the desks' search looks up, and what narrows its rows.
struct Search
{
    QString caption, text;          // the key searched
    QString family, given, name;    // and what the rows must also match
    QString birthDate;              // ISO, or a year
    QString phoneDigits;
    int count = 50;
    int skip = 0;                   // lines of the desks' page at `after` already listed
    QString after;
    QList<std::pair<QString, QString>> used;    // the parameters taken, for the links

    bool matches(const Row& row) const
    {
        if (!family.isEmpty() && !practice::foldName(row.family()).startsWith(practice::foldName(family)))
            return false;
        QStringList parts = row.given();
        const auto has = [&parts](const QString& wanted) {
            const QString key = practice::foldName(wanted);
            return std::any_of(parts.begin(), parts.end(), [&](const QString& p) { return practice::foldName(p).startsWith(key); });
        };
        if (!given.isEmpty() && !has(given))
            return false;
        if (!name.isEmpty()) {
            parts.append(row.family());
            for (const QString& word : name.split(QRegularExpression(QStringLiteral("[\\s,]+")), Qt::SkipEmptyParts)) {
                if (!has(word))
                    return false;
            }
        }
        if (!birthDate.isEmpty() && !isoDate(row.value("DOB")).startsWith(birthDate))
            return false;
        return phoneDigits.isEmpty() || practice::digitsOf(row.value("Phone")).endsWith(phoneDigits);
    }
};

const QRegularExpression& ssnShape()
{
    static const QRegularExpression shape(QStringLiteral("^\\d{3}-?\\d{2}-?\\d{4}$"));
    return shape;
}

// The key an identifier is searched by: its system's, or, without one, the key its shape
// reads as (an SSN, an account number, else a medical record number).
std::pair<QString, QString> identifierKey(const QString& token)
{
    const qsizetype bar = token.indexOf(QLatin1Char('|'));
    const QString system = bar < 0 ? QString() : token.left(bar);
    const QString value = token.mid(bar + 1);
    if (system == QLatin1String(kSsnSystem))
        return {QStringLiteral("&SS#"), value};
    if (system == QLatin1String(kMrnSystem))
        return {QStringLiteral("&MR#"), value};
    if (system == QLatin1String(kAccountSystem))
        return {QStringLiteral("&ACCT#"), value};
    if (!system.isEmpty())
        throw Refusal{QStringLiteral("This server's identifiers are of the systems %1, %2 and %3.")
                          .arg(QLatin1String(kSsnSystem), QLatin1String(kMrnSystem), QLatin1String(kAccountSystem))};
    if (ssnShape().match(value).hasMatch())
        return {QStringLiteral("&SS#"), value};
    static const QRegularExpression number(QStringLiteral("^\\d+$"));
    return {number.match(value).hasMatch() ? QStringLiteral("&ACCT#") : QStringLiteral("&MR#"), value};
}

// A FHIR date parameter as the desks' date of birth key reads it: a day or a year, with no
// prefix but "eq".
QString birthDateOf(const QString& parameter, QString& desk)
{
    QString value = parameter.startsWith(QLatin1String("eq")) ? parameter.mid(2) : parameter;
    static const QRegularExpression year(QStringLiteral("^\\d{4}$"));
    const QDate day = QDate::fromString(value, Qt::ISODate);
    if (day.isValid() && value.size() == 10) {
        desk = day.toString(QStringLiteral("MM/dd/yyyy"));
        return value;
    }
    if (year.match(value).hasMatch()) {
        desk = value;
        return value;
    }
    throw Refusal{QStringLiteral("birthdate is a day (1969-02-10) or a year (1969); this server compares no ranges.")};
}

// The parameters this server knows, each given once; the others (and modifiers) are left aside,
// as FHIR's lenient handling has it, and the self link shows what was used.
const QStringList& knownParameters()
{
    static const QStringList names{QStringLiteral("identifier"), QStringLiteral("telecom"), QStringLiteral("phone"),
                                   QStringLiteral("birthdate"), QStringLiteral("name"), QStringLiteral("family"),
                                   QStringLiteral("given"), QStringLiteral("_count"), QStringLiteral("_page")};
    return names;
}

QMap<QString, QString> parametersOf(const QString& query)
{
    // A "+" in a query is a blank (as forms send it); QUrlQuery reads it as a plus.
    const QUrlQuery q(QString(query).replace(QLatin1Char('+'), QStringLiteral("%20")));
    QMap<QString, QString> params;
    for (const auto& [key, value] : q.queryItems(QUrl::FullyDecoded)) {
        if (!knownParameters().contains(key) || value.trimmed().isEmpty())
            continue;
        if (params.contains(key))
            throw Refusal{QStringLiteral("Give %1 once.").arg(key)};
        if (value.contains(QLatin1Char('|')) && key != QLatin1String("identifier") && key != QLatin1String("telecom"))
            throw Refusal{QStringLiteral("%1 holds no \"|\".").arg(key)};
        params.insert(key, value.trimmed());
    }
    return params;
}

void readPaging(const QMap<QString, QString>& params, Search& s)
{
    if (params.contains(QStringLiteral("_count"))) {
        bool ok = false;
        s.count = params.value(QStringLiteral("_count")).toInt(&ok);
        if (!ok || s.count < 1 || s.count > 200)
            throw Refusal{QStringLiteral("_count is a number from 1 to 200.")};
    }
    if (params.contains(QStringLiteral("_page"))) {
        const QString page = params.value(QStringLiteral("_page"));
        bool ok = false;
        s.skip = page.section(QLatin1Char('-'), 0, 0).toInt(&ok);
        s.after = page.section(QLatin1Char('-'), 1);
        if (!ok || s.skip < 0 || s.skip > 1000 || s.after.size() > 200 || s.after.contains(QLatin1Char('|')))
            throw Refusal{QStringLiteral("_page is the one a \"next\" link gave.")};
    }
}

// The phone searched for: telecom (or phone), with "phone|" or "|" before it at most.
QString telecomOf(const QMap<QString, QString>& params)
{
    QString telecom = params.value(QStringLiteral("telecom"), params.value(QStringLiteral("phone")));
    if (telecom.contains(QLatin1Char('|'))) {
        if (!telecom.startsWith(QLatin1String("phone|")) && !telecom.startsWith(QLatin1Char('|')))
            throw Refusal{QStringLiteral("This server's patients have phone numbers only: telecom=phone|2175550100.")};
        telecom = telecom.section(QLatin1Char('|'), 1);
    }
    if (!telecom.isEmpty() && practice::digitsOf(telecom).size() < 4)
        throw Refusal{QStringLiteral("A phone number has at least its last four digits.")};
    return telecom;
}

// The first parameter given of identifier, telecom (or phone), birthdate and the names is the
// key searched; the others narrow its rows.
void chooseKey(const QMap<QString, QString>& params, const QString& telecom, const QString& deskDate, Search& s)
{
    if (params.contains(QStringLiteral("identifier"))) {
        std::tie(s.caption, s.text) = identifierKey(params.value(QStringLiteral("identifier")));
        s.phoneDigits = practice::digitsOf(telecom);
    } else if (!telecom.isEmpty()) {
        s.caption = QStringLiteral("P&HONE#");
        s.text = telecom;
    } else if (!deskDate.isEmpty()) {
        s.caption = QStringLiteral("&DOB");
        s.text = deskDate;
        s.birthDate.clear();
    } else if (!s.name.isEmpty()) {
        s.caption = QStringLiteral("&PAT NAME");
        s.text = std::exchange(s.name, {});
    } else if (!s.family.isEmpty()) {
        s.caption = QStringLiteral("&PAT NAME");
        s.text = s.given.isEmpty() ? s.family : s.family + QStringLiteral(", ") + s.given;
        s.family.clear();
        s.given.clear();
    } else if (!s.given.isEmpty()) {
        throw Refusal{QStringLiteral("A search by given name needs the family name too.")};
    } else {
        throw Refusal{QStringLiteral("Search patients by family and given, name, birthdate, identifier, telecom or phone.")};
    }
}

Search searchOf(const QString& query)
{
    const QMap<QString, QString> params = parametersOf(query);
    Search s;
    readPaging(params, s);
    for (const QString& key : knownParameters().first(7)) {
        if (params.contains(key))
            s.used.append({key, params.value(key)});
    }
    QString deskDate;
    if (params.contains(QStringLiteral("birthdate")))
        s.birthDate = birthDateOf(params.value(QStringLiteral("birthdate")), deskDate);
    const QString telecom = telecomOf(params);
    s.family = params.value(QStringLiteral("family"));
    s.given = params.value(QStringLiteral("given"));
    s.name = params.value(QStringLiteral("name"));
    chooseKey(params, telecom, deskDate, s);
    if (s.text.contains(QLatin1Char('|')))
        throw Refusal{QStringLiteral("A search holds no \"|\" but between an identifier's system and value.")};
    return s;
}

QString searchUrl(const QString& base, const Search& s, const QString& page)
{
    QUrlQuery q;
    QList<std::pair<QString, QString>> items = s.used;
    items.append({QStringLiteral("_count"), QString::number(s.count)});
    if (!page.isEmpty())
        items.append({QStringLiteral("_page"), page});
    QStringList parts;
    for (const auto& [key, value] : items)
        parts.append(key + QLatin1Char('=') + QString::fromLatin1(QUrl::toPercentEncoding(value)));
    return base + QStringLiteral("/Patient?") + parts.join(QLatin1Char('&'));
}

QJsonObject outcome(const QString& severity, const QString& code, const QStringList& texts)
{
    QJsonArray issues;
    for (const QString& text : texts)
        issues.append(QJsonObject{{QStringLiteral("severity"), severity}, {QStringLiteral("code"), code},
                                  {QStringLiteral("diagnostics"), text}});
    return {{QStringLiteral("resourceType"), QStringLiteral("OperationOutcome")}, {QStringLiteral("issue"), issues}};
}

Reply refusal(int status, const QString& message)
{
    return {status, operationOutcome(status, message)};
}

Reply searchPatients(const QString& query, const QString& base, const Ask& ask)
{
    const Search s = searchOf(query);
    QJsonArray entries;
    QStringList messages;
    int found = 0;
    QString after = s.after;
    int skip = s.skip;
    QString next;
    // A page that narrows the desks' rows may read several of theirs; never more than these.
    for (int pages = 0; pages < 20; ++pages) {
        QString error;
        const std::optional<SearchReplies> read =
            readSearchReplies(ask(QStringLiteral("|GET|KEY|") + s.text + QLatin1Char('|') + s.caption + QLatin1Char('|') + after), error);
        if (!read)
            return refusal(400, error);
        // A position the desks' search refuses comes back as its one line, for the grid to
        // show; to a FHIR client it is a request refused.
        if (!after.isEmpty() && read->lines.size() == 1 && read->lines.first().isMessage() && read->next.isEmpty())
            return refusal(400, read->lines.first().values.value(0));
        qsizetype at = skip;
        for (; at < read->lines.size() && found < s.count; ++at) {
            const SearchLine& line = read->lines[at];
            if (line.isMessage()) {
                messages.append(line.values.value(0));
                continue;
            }
            const Row row{read->columns, line};
            if (!s.matches(row))
                continue;
            ++found;
            entries.append(QJsonObject{{QStringLiteral("fullUrl"), QString(base + QStringLiteral("/Patient/") + line.account)},
                                       {QStringLiteral("resource"), patientOfRow(row)},
                                       {QStringLiteral("search"), QJsonObject{{QStringLiteral("mode"), QStringLiteral("match")}}}});
        }
        if (at < read->lines.size()) {
            next = QString::number(at) + QLatin1Char('-') + after;
            break;
        }
        if (read->next.isEmpty())
            break;
        after = read->next;
        skip = 0;
        next = QStringLiteral("0-") + after;
        if (found >= s.count)
            break;
    }
    if (!messages.isEmpty())
        entries.prepend(QJsonObject{{QStringLiteral("resource"), outcome(QStringLiteral("information"), QStringLiteral("informational"), messages)},
                                    {QStringLiteral("search"), QJsonObject{{QStringLiteral("mode"), QStringLiteral("outcome")}}}});
    QJsonArray links{QJsonObject{{QStringLiteral("relation"), QStringLiteral("self")},
                                 {QStringLiteral("url"), searchUrl(base, s, s.skip || !s.after.isEmpty() ? QString::number(s.skip) + QLatin1Char('-') + s.after : QString())}}};
    if (!next.isEmpty())
        links.append(QJsonObject{{QStringLiteral("relation"), QStringLiteral("next")}, {QStringLiteral("url"), searchUrl(base, s, next)}});
    QJsonObject bundle{{QStringLiteral("resourceType"), QStringLiteral("Bundle")}, {QStringLiteral("type"), QStringLiteral("searchset")},
                       {QStringLiteral("link"), links}};
    put(bundle, "entry", entries);
    return {200, compact(bundle)};
}

Reply readPatient(const QString& id, const Ask& ask)
{
    static const QRegularExpression account(QStringLiteral("^[0-9]{1,18}$"));
    if (!account.match(id).hasMatch())
        return refusal(404, QStringLiteral("There is no Patient %1: a Patient's id is an account number.").arg(id.left(40)));
    QString error;
    bool noPatient = false;
    const std::optional<QJsonObject> record =
        readRecordReplies(ask(QStringLiteral("|GET|DEMOXML|") + id + QStringLiteral("||")), error, noPatient);
    if (!record)
        return refusal(noPatient ? 404 : 500, noPatient ? QStringLiteral("There is no Patient %1.").arg(id) : error);
    return {200, compact(patientOfRecord(*record))};
}

} // namespace

QByteArray operationOutcome(int status, const QString& message)
{
    struct Code { int status; const char* code; };
    static constexpr Code codes[] = {
        {400, "invalid"}, {401, "login"}, {404, "not-found"}, {405, "not-supported"}, {408, "timeout"},
        {411, "structure"}, {413, "too-long"}, {429, "throttled"}, {431, "too-long"}, {501, "not-supported"},
        {503, "transient"}, {505, "not-supported"},
    };
    const char* code = "exception";
    for (const Code& c : codes) {
        if (c.status == status)
            code = c.code;
    }
    return compact(outcome(QStringLiteral("error"), QLatin1String(code), {message}));
}

QByteArray capabilityStatement(const QString& base)
{
    const auto parameter = [](const char* name, const char* type, const char* documentation) {
        return QJsonObject{{QStringLiteral("name"), QLatin1String(name)}, {QStringLiteral("type"), QLatin1String(type)},
                           {QStringLiteral("documentation"), QLatin1String(documentation)}};
    };
    const QJsonArray parameters{
        parameter("family", "string", "The family name, as the desks' name search reads it (with given: LAST, FIRST); close names follow exact ones."),
        parameter("given", "string", "With family: the given name."),
        parameter("name", "string", "A name as a clerk types it: LAST, FIRST, LAST FIRST or FIRST LAST."),
        parameter("birthdate", "date", "A day (1969-02-10) or a year; no prefix but eq."),
        parameter("identifier", "token", "An SSN (http://hl7.org/fhir/sid/us-ssn, all nine digits or the last four), a medical record number (urn:zelvar:practice:mrn) or an account (urn:zelvar:practice:account); without a system, read by its shape."),
        parameter("telecom", "token", "A phone number (phone|...): the whole number, the last seven or the last four digits."),
        parameter("phone", "token", "As telecom."),
    };
    const QJsonObject patient{
        {QStringLiteral("type"), QStringLiteral("Patient")},
        {QStringLiteral("interaction"), QJsonArray{QJsonObject{{QStringLiteral("code"), QStringLiteral("read")}},
                                                   QJsonObject{{QStringLiteral("code"), QStringLiteral("search-type")}}}},
        {QStringLiteral("searchParam"), parameters},
    };
    const QJsonObject rest{
        {QStringLiteral("mode"), QStringLiteral("server")},
        {QStringLiteral("documentation"), QStringLiteral("The first of identifier, telecom (or phone), birthdate, name and family is searched as the front desks search it; the others narrow its rows. Pages follow the Bundle's next link; _count is 1 to 200 (50 by default).")},
        {QStringLiteral("security"), QJsonObject{{QStringLiteral("description"), QStringLiteral("Each desk's token as a Bearer token (Authorization: Bearer zd_...).")}}},
        {QStringLiteral("resource"), QJsonArray{patient}},
    };
    return compact({
        {QStringLiteral("resourceType"), QStringLiteral("CapabilityStatement")},
        {QStringLiteral("status"), QStringLiteral("active")},
        {QStringLiteral("date"), QDate::currentDate().toString(Qt::ISODate)},
        {QStringLiteral("kind"), QStringLiteral("instance")},
        {QStringLiteral("software"), QJsonObject{{QStringLiteral("name"), QStringLiteral("zelvar-practice-server")}}},
        {QStringLiteral("implementation"), QJsonObject{{QStringLiteral("description"), QStringLiteral("The practice's patients, read-only")},
                                                       {QStringLiteral("url"), base}}},
        {QStringLiteral("fhirVersion"), QStringLiteral("4.0.1")},
        {QStringLiteral("format"), QJsonArray{QStringLiteral("json")}},
        {QStringLiteral("rest"), QJsonArray{rest}},
    });
}

Reply answer(std::string_view target, const QString& base, const Ask& ask)
{
    const std::string_view path = target.substr(0, target.find('?'));
    const QString query = target.size() > path.size() ? QString::fromUtf8(target.substr(path.size() + 1)) : QString();
    constexpr std::string_view patients = "/fhir/R4/Patient";
    try {
        if (path == patients)
            return searchPatients(query, base, ask);
        if (path.substr(0, patients.size() + 1) == "/fhir/R4/Patient/") {
            const std::string_view id = path.substr(patients.size() + 1);
            return readPatient(QUrl::fromPercentEncoding(QByteArray(id.data(), qsizetype(id.size()))), ask);
        }
    } catch (const Refusal& r) {
        return refusal(400, r.message);
    }
    return refusal(404, QStringLiteral("This server answers FHIR R4's metadata, and Patient's read and search."));
}

} // namespace zelvar::service::fhir
