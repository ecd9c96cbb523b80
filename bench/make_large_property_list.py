#!/usr/bin/env python3
"""Writes a MacGourmet-style property list of many recipes, for timing `miravel import`
beside the large MealMaster file (make_large_mmf.py): eight ingredient records (one group),
two direction entries, two of twenty categories and a preparation time per recipe.
With --mealmaster it writes the same recipes as MealMaster text instead, so that the two
importers can also be compared on recipes of the same content."""
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


UNITS = {"cups": "c", "cup": "c", "tbsp": "tb", "tsp": "ts", "g": "g", "cloves": "cl", "": ""}


def mealmaster_line(record):
    text = record["DESCRIPTION"] + ("; " + record["DIRECTION"] if record.get("DIRECTION") else "")
    return f"{record['QUANTITY']:>7} {UNITS[record['MEASUREMENT']]:<2} {text}\n"


def mealmaster(recipe):
    out = ["MMMMM----- Recipe via Meal-Master (tm) v8.05\n\n",
           f"      Title: {recipe['NAME']}\n",
           f" Categories: {', '.join(entry['NAME'] for entry in recipe['CATEGORIES'])}\n",
           f"      Yield: {recipe['SERVINGS']} servings\n\n"]
    for record in recipe["INGREDIENTS"]:
        if "DIVIDER_INGREDIENT" in record:
            out.append(f"MMMMM--------------------------{record['DIVIDER_INGREDIENT']['DESCRIPTION'].upper()}"
                       "-------------------------------\n")
            out.extend(mealmaster_line(member) for member in record["INGREDIENTS"])
        else:
            out.append(mealmaster_line(record))
    out.append("\n")
    for entry in recipe["DIRECTIONS_LIST"]:
        out.append(f"  {entry['DIRECTION_TEXT']}\n\n")
    out.append("MMMMM\n\n")
    return "".join(out)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("output")
    parser.add_argument("--count", type=int, default=20000)
    parser.add_argument("--binary", action="store_true")
    parser.add_argument("--mealmaster", action="store_true")
    args = parser.parse_args()
    if args.mealmaster:
        with open(args.output, "w", encoding="latin-1") as out:
            out.writelines(mealmaster(recipe(n + 1)) for n in range(args.count))
        return
    with open(args.output, "wb") as out:
        plistlib.dump([recipe(n + 1) for n in range(args.count)], out,
                      fmt=plistlib.FMT_BINARY if args.binary else plistlib.FMT_XML)


main()
