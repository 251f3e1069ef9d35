-- The same indexes on every engine: the searches walk them in the same order. Patients who
-- share a key are listed the recently seen first (visitorder), then by account.
CREATE INDEX IF NOT EXISTS patients_byname ON patients (lastkey, firstkey, visitorder, id, middle);
CREATE INDEX IF NOT EXISTS patients_bysound ON patients (lastsound, lastkey, firstkey, visitorder, id, firstformal, middle);
CREATE INDEX IF NOT EXISTS patients_bydob ON patients (dob, visitorder, id, lastkey);
CREATE INDEX IF NOT EXISTS patients_byssn ON patients (ssn, visitorder, id);
CREATE INDEX IF NOT EXISTS patients_byssn4 ON patients (ssn4, visitorder, id);
CREATE INDEX IF NOT EXISTS patients_bymrnkey ON patients (mrnkey, visitorder, id);
CREATE INDEX IF NOT EXISTS patients_guarantor ON patients (guarantor, id);
CREATE INDEX IF NOT EXISTS namekeys_key ON namekeys (key, first, patient);
CREATE INDEX IF NOT EXISTS phones_digits ON phones (digits, patient);
CREATE INDEX IF NOT EXISTS phones_last7 ON phones (last7, patient);
CREATE INDEX IF NOT EXISTS phones_last4 ON phones (last4, patient);
CREATE INDEX IF NOT EXISTS policies_numkey ON policies (numkey, patient);
CREATE INDEX IF NOT EXISTS policies_patient ON policies (patient);
CREATE INDEX IF NOT EXISTS encounters_patient ON encounters (patient, seen);
CREATE INDEX IF NOT EXISTS recent_user ON recent ("user", chosen);
CREATE INDEX IF NOT EXISTS access_kind ON access (kind, id);
CREATE INDEX IF NOT EXISTS access_clerk ON access (clerk, id);
