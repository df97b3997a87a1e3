#!/usr/bin/env python3
"""Validates a quillmark results file against its kind's schema in docs/schemas.

Usage: validate_result.py KIND FILE
Prints nothing and exits 0 when the file is valid; prints each fault and
exits 1 when it is not; exits 3 when python3 jsonschema is absent.
"""
import json
import pathlib
import sys

try:
    import jsonschema
except ImportError:
    print("python3 jsonschema is absent", file=sys.stderr)
    sys.exit(3)

SCHEMAS = pathlib.Path(__file__).resolve().parent.parent.parent / "docs" / "schemas"


def validator_for(kind):
    schemas = {}
    for path in SCHEMAS.glob("*.schema.json"):
        schema = json.loads(path.read_text())
        jsonschema.Draft202012Validator.check_schema(schema)
        schemas[schema["$id"]] = schema
    schema = schemas["urn:quillmark:schema:" + kind]
    try:
        from referencing import Registry, Resource
        registry = Registry().with_resources(
            (uri, Resource.from_contents(contents)) for uri, contents in schemas.items())
        return jsonschema.Draft202012Validator(schema, registry=registry)
    except ImportError:  # jsonschema before 4.18
        resolver = jsonschema.RefResolver.from_schema(schema, store=schemas)
        return jsonschema.Draft202012Validator(schema, resolver=resolver)


def main():
    kind, file = sys.argv[1], sys.argv[2]
    document = json.loads(pathlib.Path(file).read_text())
    faults = sorted(validator_for(kind).iter_errors(document), key=lambda e: list(e.absolute_path))
    for fault in faults:
        print("/".join(str(p) for p in fault.absolute_path) + ": " + fault.message)
    sys.exit(1 if faults else 0)


if __name__ == "__main__":
    main()
