#!/usr/bin/env python3
"""Checks a JSON document against a JSON Schema: validate_json.py SCHEMA DOCUMENT.

Exit 0 when it validates, 1 with the first error on standard error when it
does not, 2 when either file cannot be read as JSON. Parsing here is
Python's own JSON implementation, a second one beside ombctl's."""
import json
import sys

import jsonschema


def main() -> int:
    if len(sys.argv) != 3:
        print("usage: validate_json.py SCHEMA DOCUMENT", file=sys.stderr)
        return 2
    try:
        with open(sys.argv[1], encoding="utf-8") as schema_file:
            schema = json.load(schema_file)
        with open(sys.argv[2], encoding="utf-8") as document_file:
            document = json.load(document_file)
    except (OSError, ValueError) as error:
        print(f"cannot read: {error}", file=sys.stderr)
        return 2
    try:
        jsonschema.Draft7Validator(schema).validate(document)
    except jsonschema.ValidationError as error:
        print(f"{'/'.join(str(p) for p in error.absolute_path)}: {error.message}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
