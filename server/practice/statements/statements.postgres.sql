-- The practice store's statements as PostgreSQL takes them: a list of keys is a JSON array
-- turned into an array, so that the planner looks each key up in an index (as it would not for
-- the rows of a function, whose count it cannot know); the layout defines julianday() as
-- SQLite has it.
--
-- The positions a page goes on after (:after_...) are the ordering values of its last row.

-- ---------------------------------------------------------------------------------------------
-- Searches by a key of one column

-- The patients whose bills go to a guarantor of the name: entered at the guarantor of the
-- position, whose later dependants and every later guarantor follow. Guarantors of one name
-- come the recently seen first.
-- name: search_guarantor (plan once)
SELECT p.id, p.last, p.first, p.middle, p.dob, p.sex, p.ssn, p.mrn, p.phone, p.active,
       coalesce(g.last || ', ' || g.first, ''),
       g.lastkey, g.firstkey, g.visitorder, g.id
FROM patients g JOIN patients p ON p.guarantor = g.id
WHERE (g.lastkey, g.firstkey, g.visitorder, g.id) >= (:after_last, :after_first, :after_visit, :after_guarantor)
  AND g.lastkey >= :last AND g.lastkey < :last_end AND g.firstkey >= :first AND g.firstkey < :first_end
  AND ((g.lastkey, g.firstkey, g.visitorder, g.id) > (:after_last, :after_first, :after_visit, :after_guarantor)
       OR p.id > :after_id)
ORDER BY g.lastkey, g.firstkey, g.visitorder, g.id, p.id LIMIT :limit;

-- Patients born from one day to another; of one day, the recently seen first.
-- name: search_date_of_birth (plan once)
SELECT p.id, p.last, p.first, p.middle, p.dob, p.sex, p.ssn, p.mrn, p.phone, p.active,
       coalesce(g.last || ', ' || g.first, ''),
       p.dob, p.visitorder
FROM patients p LEFT JOIN patients g ON g.id = p.guarantor
WHERE (p.dob, p.visitorder, p.id) > (:after_key, :after_visit, :after_id) AND p.dob >= :from AND p.dob <= :to
ORDER BY p.dob, p.visitorder, p.id LIMIT :limit;

-- An SSN's last four, a whole SSN, or a medical record number's beginning: the recently seen
-- first among patients who share one.
-- name: search_ssn4 (plan once)
SELECT p.id, p.last, p.first, p.middle, p.dob, p.sex, p.ssn, p.mrn, p.phone, p.active,
       coalesce(g.last || ', ' || g.first, ''),
       p.ssn4, p.visitorder
FROM patients p LEFT JOIN patients g ON g.id = p.guarantor
WHERE (p.ssn4, p.visitorder, p.id) > (:after_key, :after_visit, :after_id) AND p.ssn4 >= :key AND p.ssn4 < :key_end
ORDER BY p.ssn4, p.visitorder, p.id LIMIT :limit;

-- name: search_ssn (plan once)
SELECT p.id, p.last, p.first, p.middle, p.dob, p.sex, p.ssn, p.mrn, p.phone, p.active,
       coalesce(g.last || ', ' || g.first, ''),
       p.ssn, p.visitorder
FROM patients p LEFT JOIN patients g ON g.id = p.guarantor
WHERE (p.ssn, p.visitorder, p.id) > (:after_key, :after_visit, :after_id) AND p.ssn >= :key AND p.ssn < :key_end
ORDER BY p.ssn, p.visitorder, p.id LIMIT :limit;

-- name: search_medical_record (plan once)
SELECT p.id, p.last, p.first, p.middle, p.dob, p.sex, p.ssn, p.mrn, p.phone, p.active,
       coalesce(g.last || ', ' || g.first, ''),
       p.mrnkey, p.visitorder
FROM patients p LEFT JOIN patients g ON g.id = p.guarantor
WHERE (p.mrnkey, p.visitorder, p.id) > (:after_key, :after_visit, :after_id) AND p.mrnkey >= :key AND p.mrnkey < :key_end
ORDER BY p.mrnkey, p.visitorder, p.id LIMIT :limit;

-- A phone number whole, or its last seven or four digits: shared by a household, a last four
-- by a hundred and more patients, so the few rows of one are put in the recently seen order.
-- name: search_phone (plan once)
SELECT p.id, p.last, p.first, p.middle, p.dob, p.sex, p.ssn, p.mrn, p.phone, p.active,
       coalesce(g.last || ', ' || g.first, ''),
       x.digits, p.visitorder
FROM phones x JOIN patients p ON p.id = x.patient LEFT JOIN patients g ON g.id = p.guarantor
WHERE (p.visitorder, x.patient) > (:after_visit, :after_id) AND x.digits = :number
ORDER BY p.visitorder, x.patient LIMIT :limit;

-- name: search_phone_last7 (plan once)
SELECT p.id, p.last, p.first, p.middle, p.dob, p.sex, p.ssn, p.mrn, p.phone, p.active,
       coalesce(g.last || ', ' || g.first, ''),
       x.last7, p.visitorder
FROM phones x JOIN patients p ON p.id = x.patient LEFT JOIN patients g ON g.id = p.guarantor
WHERE (p.visitorder, x.patient) > (:after_visit, :after_id) AND x.last7 = :number
ORDER BY p.visitorder, x.patient LIMIT :limit;

-- name: search_phone_last4 (plan once)
SELECT p.id, p.last, p.first, p.middle, p.dob, p.sex, p.ssn, p.mrn, p.phone, p.active,
       coalesce(g.last || ', ' || g.first, ''),
       x.last4, p.visitorder
FROM phones x JOIN patients p ON p.id = x.patient LEFT JOIN patients g ON g.id = p.guarantor
WHERE (p.visitorder, x.patient) > (:after_visit, :after_id) AND x.last4 = :number
ORDER BY p.visitorder, x.patient LIMIT :limit;

-- Policy numbers by their beginning, in the index's order.
-- name: search_policy (plan once)
SELECT p.id, p.last, p.first, p.middle, p.dob, p.sex, p.ssn, p.mrn, p.phone, p.active,
       coalesce(g.last || ', ' || g.first, ''),
       x.numkey, p.visitorder
FROM policies x JOIN patients p ON p.id = x.patient LEFT JOIN patients g ON g.id = p.guarantor
WHERE (x.numkey, x.patient) > (:after_number, :after_id) AND x.numkey >= :number AND x.numkey < :number_end
ORDER BY x.numkey, x.patient LIMIT :limit;

-- ---------------------------------------------------------------------------------------------
-- What a name search looks up before its passes

-- The surname as typed exists (whole, not only as the beginning of a longer one) with a first
-- name that begins as typed.
-- name: has_exact_name (plan once)
SELECT EXISTS (SELECT 1 FROM patients
               WHERE lastkey = :last AND firstkey >= :first AND firstkey < :first_end
                 AND middle LIKE :middle_like ESCAPE '\')
    OR EXISTS (SELECT 1 FROM namekeys WHERE key = :last AND first >= :first AND first < :first_end);

-- The surnames that sound as one, from one to the next in the index: the rows of a common
-- surname are not read.
-- name: surnames_of_sound
WITH RECURSIVE keys (k) AS (
    SELECT (SELECT lastkey FROM patients WHERE lastsound = :sound
            ORDER BY lastkey LIMIT 1)
    UNION ALL
    SELECT (SELECT lastkey FROM patients WHERE lastsound = :sound AND lastkey > keys.k
            ORDER BY lastkey LIMIT 1)
    FROM keys WHERE keys.k IS NOT NULL)
SELECT k FROM keys WHERE k IS NOT NULL LIMIT 400;

-- name: existing_surnames
SELECT DISTINCT lastkey FROM patients
WHERE lastkey = ANY (ARRAY(SELECT json_array_elements_text(CAST(:keys AS json))));

-- How many rows a name's passes list, each counted in its index up to :limit.
-- name: count_by_nickname
SELECT count(*) FROM (
    SELECT 1 FROM patients
    WHERE lastsound = :sound AND lastkey = :last
      AND (firstkey = ANY (ARRAY(SELECT json_array_elements_text(CAST(:formals AS json)))) OR firstformal = ANY (ARRAY(SELECT json_array_elements_text(CAST(:formals AS json)))))
      AND NOT (firstkey >= :first AND firstkey < :first_end)
    LIMIT :limit) AS listed;

-- name: count_by_name (plan once)
SELECT count(*) FROM (
    SELECT 1 FROM patients
    WHERE lastkey >= :last AND lastkey < :last_end AND firstkey >= :first AND firstkey < :first_end
    LIMIT :limit) AS listed;

-- name: count_by_other_surname (plan once)
SELECT count(*) FROM (
    SELECT 1 FROM namekeys x JOIN patients p ON p.id = x.patient
    WHERE x.key >= :last AND x.key < :last_end AND x.first >= :first AND x.first < :first_end
      AND NOT (p.lastkey >= :last AND p.lastkey < :last_end AND p.firstkey >= :first AND p.firstkey < :first_end)
    LIMIT :limit) AS listed;

-- ---------------------------------------------------------------------------------------------
-- The passes of a name search (sqlstore.cpp: NamePass), each walked from the position after
-- :after_last, :after_first, :after_visit, :after_id. Every row ends with the four values of its
-- position. :last and :first are the name as typed (folded), :last_end and :first_end the ends
-- of their prefix ranges, :first_like and :middle_like the same as LIKE patterns; :formals are
-- the first name's formal names, :edit_keys the keys a letter off that exist.

-- The name as typed, walked in the index by name.
-- name: name_prefix (plan once)
SELECT p.id, p.last, p.first, p.middle, p.dob, p.sex, p.ssn, p.mrn, p.phone, p.active,
       coalesce(g.last || ', ' || g.first, ''),
       p.lastkey, p.firstkey, p.visitorder, p.id
FROM patients p LEFT JOIN patients g ON g.id = p.guarantor
WHERE (p.lastkey, p.firstkey, p.visitorder, p.id) > (:after_last, :after_first, :after_visit, :after_id)
  AND p.lastkey >= :last AND p.lastkey < :last_end AND p.firstkey >= :first AND p.firstkey < :first_end
  AND p.middle LIKE :middle_like ESCAPE '\'
ORDER BY p.lastkey, p.firstkey, p.visitorder, p.id LIMIT :limit;

-- A surname with an initial ("SMITH, J"): its patients under the initial the most recently
-- seen first, as patients who share a name are, not JACK to JUSTIN. Gathered from the index and
-- put in that order.
-- name: name_prefix_initial
WITH hits AS (
    SELECT x.lastkey, x.firstkey, x.visitorder, x.id FROM patients x
    WHERE x.lastkey >= :last AND x.lastkey < :last_end AND x.firstkey >= :first AND x.firstkey < :first_end
      AND x.middle LIKE :middle_like ESCAPE '\' AND (x.lastkey, x.visitorder, x.id) > (:after_last, :after_visit, :after_id)
    ORDER BY x.lastkey, x.visitorder, x.id LIMIT :limit)
SELECT p.id, p.last, p.first, p.middle, p.dob, p.sex, p.ssn, p.mrn, p.phone, p.active,
       coalesce(g.last || ', ' || g.first, ''),
       hits.lastkey, hits.firstkey, hits.visitorder, hits.id
FROM hits JOIN patients p ON p.id = hits.id LEFT JOIN patients g ON g.id = p.guarantor
ORDER BY hits.lastkey, hits.visitorder, hits.id;

-- Surnames that begin as typed, each with a first name that begins as typed, when the surname
-- typed is not one: one look into the index for each such surname and its first names, where
-- walking the surnames' rows passed every first name before the one typed ("SMI WI" read
-- through all of SMITH, A to V). The planner would merge such a join along the whole index; a
-- lateral join looks once per surname.
-- name: name_surnames_with_first
WITH RECURSIVE lasts (k) AS (
    SELECT (SELECT lastkey FROM patients
            WHERE lastkey >= :after_last AND lastkey >= :last AND lastkey < :last_end ORDER BY lastkey LIMIT 1)
    UNION ALL
    SELECT (SELECT lastkey FROM patients WHERE lastkey > lasts.k AND lastkey < :last_end ORDER BY lastkey LIMIT 1)
    FROM lasts WHERE lasts.k IS NOT NULL),
hits AS (
    SELECT x.lastkey, x.firstkey, x.visitorder, x.id
    FROM lasts CROSS JOIN LATERAL (
        SELECT x.lastkey, x.firstkey, x.visitorder, x.id FROM patients x
        WHERE x.lastkey = lasts.k AND x.firstkey >= :first AND x.firstkey < :first_end
          AND (x.lastkey, x.firstkey, x.visitorder, x.id) > (:after_last, :after_first, :after_visit, :after_id)
          AND x.middle LIKE :middle_like ESCAPE '\'
        ORDER BY x.firstkey, x.visitorder, x.id LIMIT :limit) x
    ORDER BY x.lastkey, x.firstkey, x.visitorder, x.id LIMIT :limit)
SELECT p.id, p.last, p.first, p.middle, p.dob, p.sex, p.ssn, p.mrn, p.phone, p.active,
       coalesce(g.last || ', ' || g.first, ''),
       hits.lastkey, hits.firstkey, hits.visitorder, hits.id
FROM hits JOIN patients p ON p.id = hits.id LEFT JOIN patients g ON g.id = p.guarantor
ORDER BY hits.lastkey, hits.firstkey, hits.visitorder, hits.id;

-- The name under another part of a stored surname (GARCIA LOPEZ under LOPEZ), less the rows the
-- name as typed listed.
-- name: name_other_surnames (plan once)
SELECT p.id, p.last, p.first, p.middle, p.dob, p.sex, p.ssn, p.mrn, p.phone, p.active,
       coalesce(g.last || ', ' || g.first, ''),
       x.key, x.first, 0, x.patient
FROM namekeys x JOIN patients p ON p.id = x.patient LEFT JOIN patients g ON g.id = p.guarantor
WHERE (x.key, x.first, x.patient) > (:after_last, :after_first, :after_id)
  AND x.key >= :last AND x.key < :last_end AND x.first >= :first AND x.first < :first_end
  AND p.middle LIKE :middle_like ESCAPE '\'
  AND NOT (p.lastkey >= :last AND p.lastkey < :last_end AND p.firstkey LIKE :first_like ESCAPE '\')
ORDER BY x.key, x.first, x.patient LIMIT :limit;

-- The surname as typed, walked by first name in the index that holds the formal first names
-- too: under one of the formal names the first name stands for, another nickname of those, or
-- a first name a letter off; never the first name as typed.
-- name: name_surname_formal
SELECT p.id, p.last, p.first, p.middle, p.dob, p.sex, p.ssn, p.mrn, p.phone, p.active,
       coalesce(g.last || ', ' || g.first, ''),
       p.lastkey, p.firstkey, p.visitorder, p.id
FROM patients p LEFT JOIN patients g ON g.id = p.guarantor
WHERE p.lastsound = :sound AND p.lastkey = :last
  AND (p.firstkey, p.visitorder, p.id) > (:after_first, :after_visit, :after_id)
  AND p.firstkey = ANY (ARRAY(SELECT json_array_elements_text(CAST(:formals AS json)))) AND NOT p.firstkey LIKE :first_like ESCAPE '\'
  AND p.middle LIKE :middle_like ESCAPE '\'
ORDER BY p.firstkey, p.visitorder, p.id LIMIT :limit;

-- name: name_surname_nickname
SELECT p.id, p.last, p.first, p.middle, p.dob, p.sex, p.ssn, p.mrn, p.phone, p.active,
       coalesce(g.last || ', ' || g.first, ''),
       p.lastkey, p.firstkey, p.visitorder, p.id
FROM patients p LEFT JOIN patients g ON g.id = p.guarantor
WHERE p.lastsound = :sound AND p.lastkey = :last
  AND (p.firstkey, p.visitorder, p.id) > (:after_first, :after_visit, :after_id)
  AND p.firstformal = ANY (ARRAY(SELECT json_array_elements_text(CAST(:formals AS json))))
  AND NOT (p.firstkey = ANY (ARRAY(SELECT json_array_elements_text(CAST(:formals AS json))))) AND NOT p.firstkey LIKE :first_like ESCAPE '\'
  AND p.middle LIKE :middle_like ESCAPE '\'
ORDER BY p.firstkey, p.visitorder, p.id LIMIT :limit;

-- name: name_surname_first_edit
SELECT p.id, p.last, p.first, p.middle, p.dob, p.sex, p.ssn, p.mrn, p.phone, p.active,
       coalesce(g.last || ', ' || g.first, ''),
       p.lastkey, p.firstkey, p.visitorder, p.id
FROM patients p LEFT JOIN patients g ON g.id = p.guarantor
WHERE p.lastsound = :sound AND p.lastkey = :last
  AND (p.firstkey, p.visitorder, p.id) > (:after_first, :after_visit, :after_id)
  AND p.firstkey = ANY (ARRAY(SELECT json_array_elements_text(CAST(:edit_keys AS json)))) AND NOT p.firstkey LIKE :first_like ESCAPE '\'
  AND p.middle LIKE :middle_like ESCAPE '\'
ORDER BY p.firstkey, p.visitorder, p.id LIMIT :limit;

-- One surname close to the one typed (:surname, which sounds as :sound), walked by first name,
-- less the rows the name as typed and its other surnames listed.
-- name: name_close
SELECT p.id, p.last, p.first, p.middle, p.dob, p.sex, p.ssn, p.mrn, p.phone, p.active,
       coalesce(g.last || ', ' || g.first, ''),
       p.lastkey, p.firstkey, p.visitorder, p.id
FROM patients p LEFT JOIN patients g ON g.id = p.guarantor
WHERE p.lastsound = :sound AND p.lastkey = :surname
  AND (p.firstkey, p.visitorder, p.id) > (:after_first, :after_visit, :after_id)
  AND p.firstkey LIKE :first_like ESCAPE '\'
  AND NOT (p.lastkey >= :last AND p.lastkey < :last_end AND p.firstkey LIKE :first_like ESCAPE '\')
  AND NOT EXISTS (SELECT 1 FROM namekeys y WHERE y.patient = p.id AND y.key >= :last AND y.key < :last_end
                  AND y.first LIKE :first_like ESCAPE '\')
  AND p.middle LIKE :middle_like ESCAPE '\'
ORDER BY p.firstkey, p.visitorder, p.id LIMIT :limit;

-- Surnames that sound as the one typed, other than it, under the first name's formal names or
-- their nicknames, less what the name as typed and its other surnames listed.
-- name: name_sound_formal
SELECT p.id, p.last, p.first, p.middle, p.dob, p.sex, p.ssn, p.mrn, p.phone, p.active,
       coalesce(g.last || ', ' || g.first, ''),
       p.lastkey, p.firstkey, p.visitorder, p.id
FROM patients p LEFT JOIN patients g ON g.id = p.guarantor
WHERE p.lastsound = :sound
  AND (p.lastkey, p.firstkey, p.visitorder, p.id) > (:after_last, :after_first, :after_visit, :after_id)
  AND p.firstkey = ANY (ARRAY(SELECT json_array_elements_text(CAST(:formals AS json)))) AND NOT p.firstkey LIKE :first_like ESCAPE '\'
  AND p.lastkey <> :last
  AND NOT (p.lastkey >= :last AND p.lastkey < :last_end AND p.firstkey LIKE :first_like ESCAPE '\')
  AND NOT EXISTS (SELECT 1 FROM namekeys y WHERE y.patient = p.id AND y.key >= :last AND y.key < :last_end
                  AND y.first LIKE :first_like ESCAPE '\')
  AND p.middle LIKE :middle_like ESCAPE '\'
ORDER BY p.lastkey, p.firstkey, p.visitorder, p.id LIMIT :limit;

-- name: name_sound_nickname
SELECT p.id, p.last, p.first, p.middle, p.dob, p.sex, p.ssn, p.mrn, p.phone, p.active,
       coalesce(g.last || ', ' || g.first, ''),
       p.lastkey, p.firstkey, p.visitorder, p.id
FROM patients p LEFT JOIN patients g ON g.id = p.guarantor
WHERE p.lastsound = :sound
  AND (p.lastkey, p.firstkey, p.visitorder, p.id) > (:after_last, :after_first, :after_visit, :after_id)
  AND p.firstformal = ANY (ARRAY(SELECT json_array_elements_text(CAST(:formals AS json))))
  AND NOT (p.firstkey = ANY (ARRAY(SELECT json_array_elements_text(CAST(:formals AS json))))) AND NOT p.firstkey LIKE :first_like ESCAPE '\'
  AND p.lastkey <> :last
  AND NOT (p.lastkey >= :last AND p.lastkey < :last_end AND p.firstkey LIKE :first_like ESCAPE '\')
  AND NOT EXISTS (SELECT 1 FROM namekeys y WHERE y.patient = p.id AND y.key >= :last AND y.key < :last_end
                  AND y.first LIKE :first_like ESCAPE '\')
  AND p.middle LIKE :middle_like ESCAPE '\'
ORDER BY p.lastkey, p.firstkey, p.visitorder, p.id LIMIT :limit;

-- Surnames a letter off that do not sound as the one typed (those had their own pass), under
-- the first name's formal names or their nicknames.
-- name: name_edit_formal
SELECT p.id, p.last, p.first, p.middle, p.dob, p.sex, p.ssn, p.mrn, p.phone, p.active,
       coalesce(g.last || ', ' || g.first, ''),
       p.lastkey, p.firstkey, p.visitorder, p.id
FROM patients p LEFT JOIN patients g ON g.id = p.guarantor
WHERE p.lastkey = ANY (ARRAY(SELECT json_array_elements_text(CAST(:edit_keys AS json))))
  AND (p.lastkey, p.firstkey, p.visitorder, p.id) > (:after_last, :after_first, :after_visit, :after_id)
  AND p.lastsound <> :sound
  AND p.firstkey = ANY (ARRAY(SELECT json_array_elements_text(CAST(:formals AS json)))) AND NOT p.firstkey LIKE :first_like ESCAPE '\'
  AND p.lastkey <> :last
  AND NOT (p.lastkey >= :last AND p.lastkey < :last_end AND p.firstkey LIKE :first_like ESCAPE '\')
  AND NOT EXISTS (SELECT 1 FROM namekeys y WHERE y.patient = p.id AND y.key >= :last AND y.key < :last_end
                  AND y.first LIKE :first_like ESCAPE '\')
  AND p.middle LIKE :middle_like ESCAPE '\'
ORDER BY p.lastkey, p.firstkey, p.visitorder, p.id LIMIT :limit;

-- name: name_edit_nickname
SELECT p.id, p.last, p.first, p.middle, p.dob, p.sex, p.ssn, p.mrn, p.phone, p.active,
       coalesce(g.last || ', ' || g.first, ''),
       p.lastkey, p.firstkey, p.visitorder, p.id
FROM patients p LEFT JOIN patients g ON g.id = p.guarantor
WHERE p.lastkey = ANY (ARRAY(SELECT json_array_elements_text(CAST(:edit_keys AS json))))
  AND (p.lastkey, p.firstkey, p.visitorder, p.id) > (:after_last, :after_first, :after_visit, :after_id)
  AND p.lastsound <> :sound
  AND p.firstformal = ANY (ARRAY(SELECT json_array_elements_text(CAST(:formals AS json))))
  AND NOT (p.firstkey = ANY (ARRAY(SELECT json_array_elements_text(CAST(:formals AS json))))) AND NOT p.firstkey LIKE :first_like ESCAPE '\'
  AND p.lastkey <> :last
  AND NOT (p.lastkey >= :last AND p.lastkey < :last_end AND p.firstkey LIKE :first_like ESCAPE '\')
  AND NOT EXISTS (SELECT 1 FROM namekeys y WHERE y.patient = p.id AND y.key >= :last AND y.key < :last_end
                  AND y.first LIKE :first_like ESCAPE '\')
  AND p.middle LIKE :middle_like ESCAPE '\'
ORDER BY p.lastkey, p.firstkey, p.visitorder, p.id LIMIT :limit;

-- ---------------------------------------------------------------------------------------------
-- Patients a new one may be a duplicate of: each way in is an index search with a rank
-- (identifiers first, then names that sound alike with the same initial or a nickname, names
-- swapped, a letter off, the same birth date); within a rank the nearest birth date first, so
-- that a common name cannot push the right patient past the limit.
-- name: duplicate_candidates
SELECT p.id, p.last, p.first, p.middle, p.dob, p.sex, p.ssn, p.mrn, p.phone, p.active,
       coalesce(g.last || ', ' || g.first, '')
FROM (SELECT id, min(rank) AS rank FROM (
          SELECT id, 0 AS rank FROM patients WHERE :ssn <> '' AND ssn = :ssn
          UNION ALL SELECT id, 0 FROM patients WHERE id = :account
          UNION ALL SELECT id, 0 FROM patients WHERE :mrn <> '' AND mrnkey = :mrn
          UNION ALL SELECT patient, 0 FROM policies WHERE :policy <> '' AND numkey = :policy
          UNION ALL SELECT id, 1 FROM patients WHERE :sound <> '' AND lastsound = :sound
              AND ((firstkey >= :first_initial AND firstkey < :first_initial_end)
                   OR firstformal = ANY (ARRAY(SELECT json_array_elements_text(CAST(:formals AS json)))))
          UNION ALL SELECT id, 2 FROM patients WHERE :swapped_sound <> ''
              AND lastsound = :swapped_sound AND firstkey >= :last_initial AND firstkey < :last_initial_end
          UNION ALL SELECT id, 2 FROM patients
              WHERE lastkey = ANY (ARRAY(SELECT json_array_elements_text(CAST(:edit_keys AS json))))
                AND firstkey >= :first_initial AND firstkey < :first_initial_end
          UNION ALL SELECT id, 3 FROM patients WHERE :birth <> '' AND dob = :birth
              AND lastkey >= :last_initial AND lastkey < :last_initial_end
      ) u GROUP BY id) c
JOIN patients p ON p.id = c.id LEFT JOIN patients g ON g.id = p.guarantor
ORDER BY c.rank, abs(julianday(p.dob) - julianday(coalesce(nullif(:birth, ''), p.dob))), p.id
LIMIT :limit;

-- ---------------------------------------------------------------------------------------------
-- The database itself, and the service's access log

-- The secondary indexes of the practice's tables (:tables, their names between commas), as
-- they were made; a constraint's own index goes with its table.
-- name: secondary_indexes
SELECT i.indexname, i.indexdef FROM pg_indexes i
WHERE i.schemaname = current_schema() AND i.tablename = ANY (string_to_array(:tables, ','))
  AND NOT EXISTS (SELECT 1 FROM pg_constraint c WHERE c.conname = i.indexname);

-- The tables this user may vacuum.
-- name: owned_tables
SELECT quote_ident(tablename) FROM pg_tables WHERE schemaname = current_schema() AND tableowner = current_user;

-- An entry and its accounts in one statement: a lone entry (one desk asking) needs no
-- transaction around it, and costs one round trip instead of four.
-- name: log_access_entry
WITH entry AS (
    INSERT INTO access (at, desk, kind, detail, clerk) VALUES (:at, :desk, :kind, :detail, :clerk) RETURNING id)
INSERT INTO access_accounts (block, account, entry)
SELECT entry.id / :per_block, CAST(value AS BIGINT), entry.id
FROM entry, json_array_elements_text(CAST(:accounts AS json)) AS j(value)
ON CONFLICT DO NOTHING;
