-- A practice database as the first SQLite program left it: one sound key per patient (sdx),
-- no other matching keys, no visit order, no service tables.
CREATE TABLE patients (
    id INTEGER PRIMARY KEY, last TEXT NOT NULL, first TEXT NOT NULL, middle TEXT NOT NULL,
    dob TEXT NOT NULL, sex TEXT NOT NULL, ssn TEXT NOT NULL, mrn TEXT NOT NULL,
    phone TEXT NOT NULL, mobile TEXT NOT NULL, street TEXT NOT NULL, city TEXT NOT NULL,
    state TEXT NOT NULL, zip TEXT NOT NULL, active INTEGER NOT NULL, guarantor INTEGER NOT NULL,
    relation TEXT NOT NULL, sdx TEXT NOT NULL);
CREATE TABLE phones (digits TEXT NOT NULL, patient INTEGER NOT NULL);
CREATE TABLE policies (id INTEGER PRIMARY KEY, patient INTEGER NOT NULL, rank INTEGER NOT NULL,
    payor TEXT NOT NULL, number TEXT NOT NULL, grp TEXT NOT NULL, subscriber INTEGER NOT NULL,
    relation TEXT NOT NULL, effective TEXT NOT NULL);
CREATE TABLE transactions (id INTEGER PRIMARY KEY, patient INTEGER NOT NULL, posted TEXT NOT NULL,
    code TEXT NOT NULL, amount REAL NOT NULL);
CREATE TABLE claims (id INTEGER PRIMARY KEY, patient INTEGER NOT NULL, filed TEXT NOT NULL,
    payor TEXT NOT NULL, amount REAL NOT NULL);
CREATE TABLE encounters (id INTEGER PRIMARY KEY, patient INTEGER NOT NULL, seen TEXT NOT NULL,
    provider TEXT NOT NULL, reason TEXT NOT NULL, charges REAL NOT NULL, payments REAL NOT NULL);
CREATE TABLE accessions (number TEXT PRIMARY KEY, patient INTEGER NOT NULL, taken TEXT NOT NULL,
    test TEXT NOT NULL) WITHOUT ROWID;
CREATE TABLE codes (tbl TEXT NOT NULL, code TEXT NOT NULL, description TEXT NOT NULL,
    grp TEXT NOT NULL, extra TEXT NOT NULL, sort INTEGER NOT NULL, PRIMARY KEY (tbl, code)) WITHOUT ROWID;
CREATE TABLE settings (name TEXT PRIMARY KEY, value TEXT NOT NULL) WITHOUT ROWID;
CREATE TABLE files (folder TEXT NOT NULL, name TEXT NOT NULL, content BLOB NOT NULL,
    PRIMARY KEY (folder, name)) WITHOUT ROWID;
CREATE TABLE recent (user TEXT NOT NULL, patient INTEGER NOT NULL, chosen INTEGER NOT NULL,
    PRIMARY KEY (user, patient)) WITHOUT ROWID;
CREATE INDEX patients_name ON patients (last, first, id);
CREATE INDEX patients_dob ON patients (dob, last, first, id);
CREATE INDEX patients_ssn ON patients (ssn);
CREATE INDEX patients_mrn ON patients (mrn);
CREATE INDEX patients_guarantor ON patients (guarantor, id);
CREATE INDEX patients_sdx ON patients (sdx, first);
CREATE INDEX phones_digits ON phones (digits, patient);
CREATE INDEX policies_number ON policies (number, patient);
CREATE INDEX policies_patient ON policies (patient);
CREATE INDEX encounters_patient ON encounters (patient, seen);
CREATE INDEX recent_user ON recent (user, chosen);

INSERT INTO patients VALUES
    (100001, 'WHITE', 'JOHN', 'A', '1970-01-05', 'M', '123456789', 'MR100001', '5551234567', '', '1 Elm St', 'Salem', 'OR', '97301', 1, 100001, 'SELF', 'W300'),
    (100002, 'WHITE', 'MARY', '', '1972-06-30', 'F', '987654321', 'MR100002', '5551234567', '', '1 Elm St', 'Salem', 'OR', '97301', 1, 100001, 'SPOUSE', 'W300'),
    (100003, 'SMITH', 'ROBERT', '', '1958-11-11', 'M', '111223333', 'MR100003', '5039876543', '', '9 Oak Ave', 'Salem', 'OR', '97302', 1, 100003, 'SELF', 'S530'),
    (100004, 'GARCIA-LOPEZ', 'ANA', '', '1990-02-14', 'F', '', 'MR100004', '', '', '', '', '', '', 1, 100004, 'SELF', 'G624');
INSERT INTO phones VALUES ('5551234567', 100001), ('5551234567', 100002), ('5039876543', 100003);
INSERT INTO policies VALUES (1, 100001, 1, 'BPH', 'BPH-123 45', 'G1', 100001, 'SELF', '2020-01-01');
INSERT INTO encounters VALUES
    (1, 100001, '2024-01-10', 'DR. ADAMS', 'Checkup', 120.0, 100.0),
    (2, 100001, '2025-03-01', 'DR. ADAMS', 'Cough', 80.0, 80.0),
    (3, 100003, '2026-11-30', 'DR. BAKER', 'Follow-up', 60.0, 0.0);
INSERT INTO codes VALUES ('PAYOR', 'BPH', 'Blue Prairie Health', 'Commercial', '', 1);
INSERT INTO recent VALUES ('FRONT', 100003, 1765000000000);
