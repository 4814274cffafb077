#!/usr/bin/env python3
"""Checks FHIR R4 Bundles: each must validate against the official R4 JSON schema, hold
unique full URLs, and every reference in it must point to one of its entries.

    validate_fhir.py SCHEMA BUNDLES

BUNDLES is a JSON object {name: bundle}. Prints one line per problem and exits 1 when
there is any, 0 when every Bundle passes, 2 when the schema cannot be read."""
import json
import sys

try:
    import jsonschema
except ImportError:
    sys.exit("python3-jsonschema is not installed (scripts/setup installs it)")


def deepest(error):
    """The most specific cause of a failure under the schema's oneOf of all resources."""
    while error.context:
        error = max(error.context, key=lambda e: len(e.absolute_path))
    return error


def references(node):
    if isinstance(node, dict):
        for key, value in node.items():
            if key == "reference" and isinstance(value, str):
                yield value
            else:
                yield from references(value)
    elif isinstance(node, list):
        for value in node:
            yield from references(value)


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    try:
        with open(sys.argv[1], encoding="utf-8") as f:
            schema = json.load(f)
    except OSError as e:
        print(f"cannot read the FHIR schema ({e}): run scripts/setup", file=sys.stderr)
        return 2
    # The schema's root is a oneOf over every resource type, and so is a Bundle entry's
    # resource: checking each resource against the definition its resourceType names is
    # the same test, some hundred times faster.
    cls = jsonschema.validators.validator_for(schema)
    definitions = dict(schema["definitions"], ResourceList={"type": "object"})
    validators = {}

    def validator(resource_type):
        if resource_type not in validators:
            root = dict(schema, definitions=definitions,
                        oneOf=[{"$ref": f"#/definitions/{resource_type}"}])
            validators[resource_type] = cls(root)
        return validators[resource_type]

    with open(sys.argv[2], encoding="utf-8") as f:
        bundles = json.load(f)
    known = schema["discriminator"]["mapping"]
    problems = 0

    def report(line):
        nonlocal problems
        problems += 1
        if problems <= 40:
            print(line)

    for name, bundle in bundles.items():
        entries = bundle.get("entry", []) if isinstance(bundle, dict) else []
        checks = [("", bundle)] + [(f"entry/{i}/resource/", e.get("resource"))
                                   for i, e in enumerate(entries) if isinstance(e, dict)]
        for prefix, resource in checks:
            kind = resource.get("resourceType") if isinstance(resource, dict) else None
            if kind not in known:
                report(f"{name}: {prefix}: no resource of a known type")
                continue
            for error in validator(kind).iter_errors(resource):
                cause = deepest(error)
                where = prefix + "/".join(str(p) for p in cause.absolute_path)
                report(f"{name}: {where}: {cause.message[:300]}")
        urls = [e.get("fullUrl") for e in entries]
        if len(set(urls)) != len(urls):
            report(f"{name}: full URLs repeat")
        for target in references(bundle):
            if target not in urls:
                report(f"{name}: reference {target} resolves to no entry")
    print(f"{len(bundles)} bundles checked, {problems} problems")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
