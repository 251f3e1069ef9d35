#include "schema.h"

#include "earlierlayouts.h"
#include "names.h"

#include <QDateTime>
#include <QFile>

namespace zelvar::practice {
namespace {

void runScript(Database& db, const char* name)
{
    db.execute(schemaScript(db, QString::fromLatin1(name)));
}

// Today's tables and indexes; a database from before layouts were numbered is brought to them
// from whatever it was.
void practiceLayout(Database& db)
{
    upgradeEarlierLayout(db);
    runScript(db, "0001_layout");
    runScript(db, "0001_indexes");
    moveEarlierAccessLog(db);
}

// A surname opening with WH or X had the vowel after it kept in its sound key (WHITE: WAT,
// where WHYTE and WAITE are WT), so that the duplicate check did not put them side by side.
// The keys are made again for every surname whose key the program now makes otherwise; the
// few such surnames are found by their key's index, and their rows by the name's.
void surnameSounds(Database& db)
{
    Statement surnames(db, "SELECT DISTINCT lastkey, lastsound FROM patients");
    QList<std::pair<QString, QString>> changed;
    while (surnames.step()) {
        const QString sound = phoneticKey(surnames.text(0));
        if (sound != surnames.text(1))
            changed.append({surnames.text(0), sound});
    }
    Statement update(db, "UPDATE patients SET lastsound = :lastsound WHERE lastkey = :lastkey");
    for (const auto& [lastkey, sound] : std::as_const(changed)) {
        update.bind("lastkey", lastkey).bind("lastsound", sound);
        update.run();
    }
}

struct Step
{
    int version;
    void (*apply)(Database&);
};

constexpr Step kSteps[] = {
    {1, practiceLayout},
    {2, surnameSounds},
};

QString engineSuffix(Database::Engine engine)
{
    return engine == Database::Engine::Postgres ? QStringLiteral("postgres") : QStringLiteral("sqlite");
}

[[noreturn]] void throwNewer(int version)
{
    throw DatabaseError(QStringLiteral("the practice database has layout %1, newer than this program knows "
                                       "(layout %2); open it with the program that upgraded it, or a newer one")
                            .arg(version).arg(newestSchemaVersion()).toStdString());
}

void applyStep(Database& db, const Step& step)
{
    inWriteTransaction(db, [&] {
        db.execute(QStringLiteral("CREATE TABLE IF NOT EXISTS schema_version (version INTEGER PRIMARY KEY, "
                                  "applied TEXT NOT NULL)"));
        // Another program may have taken steps while this one waited for the lock: a newer
        // program's are refused here as at the start, this program's own are not taken twice.
        const int now = schemaVersion(db);
        if (now > newestSchemaVersion())
            throwNewer(now);
        if (now >= step.version)
            return;
        step.apply(db);
        Statement done(db, "INSERT INTO schema_version (version, applied) VALUES (:version, :applied)");
        done.bind("version", qint64(step.version)).bind("applied", QDateTime::currentDateTimeUtc().toString(Qt::ISODate));
        done.run();
    });
}

} // namespace

int newestSchemaVersion()
{
    return std::end(kSteps)[-1].version;
}

int schemaVersion(Database& db)
{
    if (!db.hasRelation(QStringLiteral("schema_version")))
        return 0;
    Statement s(db, "SELECT coalesce(max(version), 0) FROM schema_version");
    return s.step() ? int(s.integer(0)) : 0;
}

QString schemaScript(Database& db, const QString& name)
{
    const QString folder = QStringLiteral(":/practice/schema/");
    QFile own(folder + name + QLatin1Char('.') + engineSuffix(db.engine()) + QStringLiteral(".sql"));
    QFile shared(folder + name + QStringLiteral(".sql"));
    QFile& file = own.exists() ? own : shared;
    if (!file.open(QIODevice::ReadOnly))
        throw DatabaseError("practice database: the program has no schema file " + name.toStdString());
    return QString::fromUtf8(file.readAll());
}

void upgradeSchema(Database& db, const std::function<void(const QString& kept)>& kept)
{
    const int version = schemaVersion(db);
    const int newest = newestSchemaVersion();
    if (version > newest)
        throwNewer(version);
    if (version == newest)
        return;
    // Outside the steps' transactions, which a copy cannot read through: two programs that open
    // an old database at once may each keep one.
    if (db.hasRelation(QStringLiteral("patients"))) {
        try {
            const QString where = db.keepBeforeUpgrade();
            if (kept)
                kept(where);
        } catch (const DatabaseError&) {
            // Another program's step can take a table from under the copy (pg_dump finds it
            // gone). That program kept its copy before its first step; when the database has
            // moved on meanwhile, the steps left are taken without one of this program's.
            if (schemaVersion(db) <= version)
                throw;
        }
    }
    for (const Step& step : kSteps) {
        if (step.version > version)
            applyStep(db, step);
    }
}

} // namespace zelvar::practice
