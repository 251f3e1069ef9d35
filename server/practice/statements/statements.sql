-- The practice store's statements that both engines take as they are written; each engine's own
-- file holds the ones it spells otherwise (SQLite's index hints and JSON lists, PostgreSQL's
-- arrays and lateral joins). A statement follows its "-- name:" line and ends at the line that
-- ends in a semicolon. "(plan once)": see Database::prepareOnce.
--
-- Rows of patients begin with the same eleven columns, in this order: id, last, first, middle,
-- dob, sex, ssn, mrn, phone, active, and the guarantor's name.

-- name: is_empty
SELECT NOT EXISTS (SELECT 1 FROM patients);

-- name: patient_count
SELECT count(*) FROM patients;

-- name: next_account
SELECT coalesce(max(id), 100000) + 1 FROM patients;

-- name: next_policy_id
SELECT coalesce(max(id), 0) + 1 FROM policies;

-- ---------------------------------------------------------------------------------------------
-- Searches whose rows are found the same way by both engines

-- A name search with no name: the user's recently chosen accounts, newest first.
-- name: search_recent
SELECT p.id, p.last, p.first, p.middle, p.dob, p.sex, p.ssn, p.mrn, p.phone, p.active,
       coalesce(g.last || ', ' || g.first, '')
FROM recent r JOIN patients p ON p.id = r.patient LEFT JOIN patients g ON g.id = p.guarantor
WHERE r."user" = :user
ORDER BY r.chosen DESC LIMIT :limit;

-- name: search_account (plan once)
SELECT p.id, p.last, p.first, p.middle, p.dob, p.sex, p.ssn, p.mrn, p.phone, p.active,
       coalesce(g.last || ', ' || g.first, '')
FROM patients p LEFT JOIN patients g ON g.id = p.guarantor
WHERE p.id = :number;

-- name: search_transaction (plan once)
SELECT p.id, p.last, p.first, p.middle, p.dob, p.sex, p.ssn, p.mrn, p.phone, p.active,
       coalesce(g.last || ', ' || g.first, '')
FROM patients p LEFT JOIN patients g ON g.id = p.guarantor
WHERE p.id = (SELECT patient FROM transactions WHERE id = :number);

-- name: search_claim (plan once)
SELECT p.id, p.last, p.first, p.middle, p.dob, p.sex, p.ssn, p.mrn, p.phone, p.active,
       coalesce(g.last || ', ' || g.first, '')
FROM patients p LEFT JOIN patients g ON g.id = p.guarantor
WHERE p.id = (SELECT patient FROM claims WHERE id = :number);

-- name: search_encounter (plan once)
SELECT p.id, p.last, p.first, p.middle, p.dob, p.sex, p.ssn, p.mrn, p.phone, p.active,
       coalesce(g.last || ', ' || g.first, '')
FROM patients p LEFT JOIN patients g ON g.id = p.guarantor
WHERE p.id = (SELECT patient FROM encounters WHERE id = :number);

-- Accession numbers by their beginning, in the index's order; a page goes on after the
-- number and patient of the last row.
-- name: search_accession (plan once)
SELECT p.id, p.last, p.first, p.middle, p.dob, p.sex, p.ssn, p.mrn, p.phone, p.active,
       coalesce(g.last || ', ' || g.first, ''),
       x.number, p.visitorder
FROM accessions x JOIN patients p ON p.id = x.patient LEFT JOIN patients g ON g.id = p.guarantor
WHERE (x.number, x.patient) > (:after_number, :after_id) AND x.number < :number_end AND x.number >= :number
ORDER BY x.number, x.patient LIMIT :limit;

-- The server's older paging, by row number (kept for the benchmark that compares the two).
-- name: name_page_by_offset
SELECT p.id, p.last, p.first, p.middle, p.dob, p.sex, p.ssn, p.mrn, p.phone, p.active,
       coalesce(g.last || ', ' || g.first, '')
FROM patients p LEFT JOIN patients g ON g.id = p.guarantor
WHERE p.last >= :last AND p.last < :last_end AND p.first LIKE :first_like ESCAPE '\'
ORDER BY p.last, p.first, p.id LIMIT :limit OFFSET :offset;

-- name: candidate_policies
SELECT numkey FROM policies WHERE patient = :account ORDER BY rank;

-- ---------------------------------------------------------------------------------------------
-- A patient's record

-- name: record_patient
SELECT p.id, p.last, p.first, p.middle, p.dob, p.sex, p.ssn, p.mrn, p.phone, p.active,
       coalesce(g.last || ', ' || g.first, ''),
       p.street, p.city, p.state, p.zip, p.mobile, p.guarantor, p.relation
FROM patients p LEFT JOIN patients g ON g.id = p.guarantor
WHERE p.id = :account;

-- name: patient_row
SELECT p.id, p.last, p.first, p.middle, p.dob, p.sex, p.ssn, p.mrn, p.phone, p.active,
       coalesce(g.last || ', ' || g.first, '')
FROM patients p LEFT JOIN patients g ON g.id = p.guarantor
WHERE p.id = :account;

-- name: record_policies
SELECT x.rank, c.description, x.number, x.grp, s.last || ', ' || s.first, x.relation, x.effective
FROM policies x
LEFT JOIN codes c ON c.tbl = 'PAYOR' AND c.code = x.payor
LEFT JOIN patients s ON s.id = x.subscriber
WHERE x.patient = :account
ORDER BY x.rank;

-- name: record_visits
SELECT seen, provider, reason, charges, payments FROM encounters WHERE patient = :account
ORDER BY seen DESC LIMIT 500;

-- ---------------------------------------------------------------------------------------------
-- Code tables, settings, files, recent choices

-- name: code_table
SELECT code, description, grp, extra FROM codes WHERE tbl = :table ORDER BY sort, code;

-- name: setting
SELECT value FROM settings WHERE name = :name;

-- name: file
SELECT content FROM files WHERE folder = :folder AND name = :name;

-- name: remember_choice
INSERT INTO recent ("user", patient, chosen) VALUES (:user, :account, :chosen)
ON CONFLICT ("user", patient) DO UPDATE SET chosen = excluded.chosen;

-- ---------------------------------------------------------------------------------------------
-- The service's desks and access log. An entry's accounts are kept by block of :per_block
-- entries (servicetables.cpp).

-- name: desk_named
SELECT 1 FROM desks WHERE name = :name;

-- name: add_desk
INSERT INTO desks (name, tokenhash, added) VALUES (:name, :tokenhash, :added);

-- name: remove_desk
DELETE FROM desks WHERE name = :name;

-- name: desk_names
SELECT name FROM desks ORDER BY name;

-- name: desk_tokens
SELECT tokenhash, name FROM desks;

-- name: desk_count
SELECT count(*) FROM desks;

-- name: entry_accounts
SELECT account FROM access_accounts
WHERE block = CAST(:entry AS BIGINT) / :per_block AND entry = :entry
ORDER BY account;

-- One look into each block, the newest included.
-- name: access_of_account
WITH RECURSIVE blocks (n) AS (
    SELECT CAST(0 AS BIGINT)
    UNION ALL SELECT n + 1 FROM blocks WHERE n < (SELECT coalesce(max(id), 0) / :per_block FROM access))
SELECT a.id, a.at, a.desk, a.kind, a.detail, a.clerk
FROM blocks
JOIN access_accounts x ON x.block = blocks.n AND x.account = :account
JOIN access a ON a.id = x.entry
ORDER BY a.id;

-- name: access_of_kind
SELECT id, at, desk, kind, detail, clerk FROM access WHERE kind = :kind ORDER BY id DESC LIMIT :limit;

-- name: access_of_clerk
SELECT id, at, desk, kind, detail, clerk FROM access WHERE clerk = :clerk ORDER BY id DESC LIMIT :limit;

-- name: probe_write
INSERT INTO access (at, desk, kind, detail) VALUES (:at, '', 'PROBE', '');
