// A FHIR client the project did not write (fhir-kit-client, pinned by package-lock.json
// beside this file and installed by scripts/setup) reads trellybridge serve as any FHIR
// application would: the capability statement, a search by account number, the patient's
// $everything; then the same search without the token. Prints one JSON object: each
// resource read, and the status of the search without the token.
//
//   node fhir_client.mjs MODULES BASE_URL TOKEN ACCOUNT
//
// The server's authority comes in NODE_EXTRA_CA_CERTS; nothing is trusted otherwise.
import path from 'node:path';
import { pathToFileURL } from 'node:url';

const [modules, baseUrl, token, account] = process.argv.slice(2);
if (!account) {
  process.stderr.write('usage: fhir_client.mjs MODULES BASE_URL TOKEN ACCOUNT\n');
  process.exit(2);
}
const { Client } = await import(
  pathToFileURL(path.join(modules, 'fhir-kit-client/dist/index.js')).href);

const client = new Client({ baseUrl, bearerToken: token });
const metadata = await client.capabilityStatement();
const searchset = await client.search({
  resourceType: 'Patient', searchParams: { identifier: account } });
const id = searchset.entry[0].resource.id;
const everything = await client.operation({
  name: '$everything', resourceType: 'Patient', id, method: 'GET' });
const patient = await client.read({ resourceType: 'Patient', id });

let withoutToken;
try {
  await new Client({ baseUrl }).search({
    resourceType: 'Patient', searchParams: { identifier: account } });
  withoutToken = 200;
} catch (error) {
  withoutToken = error.response ? error.response.status : String(error);
}
process.stdout.write(JSON.stringify({ metadata, searchset, everything, patient, withoutToken }));
