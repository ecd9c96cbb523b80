#!/usr/bin/env python3
"""Writes a MacGourmet-style property list of many recipes, for timing `miravel import`
beside the large MealMaster file (make_large_mmf.py): eight ingredient records (one group),
two direction entries, two of twenty categories and a preparation time per recipe."""
import argparse
import plistlib


def recipe(n):
    return {
        "NAME": f"Benchmark Stew #{n}",
        "SERVINGS": 4,
        "SOURCE": "Benchmark kitchen",
        "DIFFICULTY": n % 7,
        "INGREDIENTS": [
            {"QUANTITY": "1 1/2", "MEASUREMENT": "cups", "DESCRIPTION": "flour",
             "DIRECTION": "sifted"},
            {"QUANTITY": "2", "MEASUREMENT": "tbsp", "DESCRIPTION": "butter"},
            {"QUANTITY": "1", "MEASUREMENT": "", "DESCRIPTION": "onion", "DIRECTION": "diced"},
            {"QUANTITY": "3", "MEASUREMENT": "cloves", "DESCRIPTION": "garlic"},
            {"QUANTITY": "500", "MEASUREMENT": "g", "DESCRIPTION": "beef", "DIRECTION": "cubed"},
            {"DIVIDER_INGREDIENT": {"DESCRIPTION": "Topping"},
             "INGREDIENTS": [
                 {"QUANTITY": "1/2", "MEASUREMENT": "cup", "DESCRIPTION": "cream"},
                 {"QUANTITY": "1", "MEASUREMENT": "tsp", "DESCRIPTION": "salt"},
                 {"QUANTITY": "2", "MEASUREMENT": "tbsp", "DESCRIPTION": "parsley"},
             ]},
        ],
        "DIRECTIONS_LIST": [
            {"DIRECTION_TEXT": "Brown the beef with the onion and the garlic in the butter."},
            {"DIRECTION_TEXT": "Dust with the flour, add water and simmer for an hour."},
        ],
        "PREP_TIMES": [{"TIME_TYPE_ID": 8, "AMOUNT": 20, "TIME_UNIT_ID": 2},
                       {"TIME_TYPE_ID": 5, "AMOUNT": 1, "TIME_UNIT_ID": 1}],
        "CATEGORIES": [{"NAME": f"Category {n % 20}"}, {"NAME": "Main dishes"}],
    }


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("output")
    parser.add_argument("--count", type=int, default=20000)
    parser.add_argument("--binary", action="store_true")
    args = parser.parse_args()
    with open(args.output, "wb") as out:
        plistlib.dump([recipe(n + 1) for n in range(args.count)], out,
                      fmt=plistlib.FMT_BINARY if args.binary else plistlib.FMT_XML)


main()
