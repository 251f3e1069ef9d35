-- The practice's tables and the service's, as SQLite keeps them. Each is made when missing,
-- so that a database from before layouts were numbered (brought this far by the program
-- first) gets only what it lacks.
CREATE TABLE IF NOT EXISTS patients (
    id INTEGER PRIMARY KEY, last TEXT NOT NULL, first TEXT NOT NULL, middle TEXT NOT NULL,
    dob TEXT NOT NULL, sex TEXT NOT NULL, ssn TEXT NOT NULL, mrn TEXT NOT NULL,
    phone TEXT NOT NULL, mobile TEXT NOT NULL, street TEXT NOT NULL, city TEXT NOT NULL,
    state TEXT NOT NULL, zip TEXT NOT NULL, active INTEGER NOT NULL, guarantor INTEGER NOT NULL,
    relation TEXT NOT NULL,
    lastkey TEXT NOT NULL, firstkey TEXT NOT NULL, firstformal TEXT NOT NULL, lastsound TEXT NOT NULL,
    ssn4 TEXT NOT NULL, mrnkey TEXT NOT NULL, visitorder INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS namekeys (key TEXT NOT NULL, first TEXT NOT NULL, patient INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS phones (digits TEXT NOT NULL, patient INTEGER NOT NULL, last7 TEXT NOT NULL,
    last4 TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS policies (id INTEGER PRIMARY KEY, patient INTEGER NOT NULL, rank INTEGER NOT NULL,
    payor TEXT NOT NULL, number TEXT NOT NULL, grp TEXT NOT NULL, subscriber INTEGER NOT NULL,
    relation TEXT NOT NULL, effective TEXT NOT NULL, numkey TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS transactions (id INTEGER PRIMARY KEY, patient INTEGER NOT NULL, posted TEXT NOT NULL,
    code TEXT NOT NULL, amount REAL NOT NULL);
CREATE TABLE IF NOT EXISTS claims (id INTEGER PRIMARY KEY, patient INTEGER NOT NULL, filed TEXT NOT NULL,
    payor TEXT NOT NULL, amount REAL NOT NULL);
CREATE TABLE IF NOT EXISTS encounters (id INTEGER PRIMARY KEY, patient INTEGER NOT NULL, seen TEXT NOT NULL,
    provider TEXT NOT NULL, reason TEXT NOT NULL, charges REAL NOT NULL, payments REAL NOT NULL);
CREATE TABLE IF NOT EXISTS accessions (number TEXT PRIMARY KEY, patient INTEGER NOT NULL, taken TEXT NOT NULL,
    test TEXT NOT NULL) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS codes (tbl TEXT NOT NULL, code TEXT NOT NULL, description TEXT NOT NULL,
    grp TEXT NOT NULL, extra TEXT NOT NULL, sort INTEGER NOT NULL, PRIMARY KEY (tbl, code)) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS settings (name TEXT PRIMARY KEY, value TEXT NOT NULL) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS files (folder TEXT NOT NULL, name TEXT NOT NULL, content BLOB NOT NULL,
    PRIMARY KEY (folder, name)) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS recent (user TEXT NOT NULL, patient INTEGER NOT NULL, chosen INTEGER NOT NULL,
    PRIMARY KEY (user, patient)) WITHOUT ROWID;

-- The desks that may ask, by the hash of their token (never the token), and who was shown which
-- patient. An entry's accounts are kept by block of 256 entries, then account: the rows a search
-- adds land in the few pages of the newest block, not a page each.
CREATE TABLE IF NOT EXISTS desks (name TEXT PRIMARY KEY, tokenhash TEXT NOT NULL UNIQUE, added TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS access (id INTEGER PRIMARY KEY, at TEXT NOT NULL, desk TEXT NOT NULL,
    kind TEXT NOT NULL, detail TEXT NOT NULL, clerk TEXT NOT NULL DEFAULT '');
CREATE TABLE IF NOT EXISTS access_accounts (block BIGINT NOT NULL, account BIGINT NOT NULL, entry BIGINT NOT NULL,
    PRIMARY KEY (block, account, entry)) WITHOUT ROWID;
