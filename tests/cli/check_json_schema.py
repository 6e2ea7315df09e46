#!/usr/bin/env python3
"""Checks korvalectl --json documents against docs/korvalectl.schema.json.

usage: check_json_schema.py SCHEMA DOCUMENT...
Prints one line per document that does not match and exits 1 when any does not.
"""
import json
import sys

import jsonschema


def main(argv):
    if len(argv) < 3:
        print(__doc__, file=sys.stderr)
        return 2
    with open(argv[1], encoding="utf-8") as f:
        schema = json.load(f)
    jsonschema.Draft202012Validator.check_schema(schema)
    validator = jsonschema.Draft202012Validator(schema)
    bad = 0
    for path in argv[2:]:
        with open(path, encoding="utf-8") as f:
            doc = json.load(f)
        for error in validator.iter_errors(doc):
            bad += 1
            where = "/".join(str(p) for p in error.absolute_path)
            print(f"{path}: {where or '(root)'}: {error.message}")
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
