#!/usr/bin/env python3
"""Writes the property-list fixtures of the importer tests, in XML and in binary form.

Run from this folder after changing a fixture; the outputs are committed."""
import base64
import plistlib

# The smallest GIF: one pixel, so that a photo decodes without a picture file beside it.
PIXEL_GIF = base64.b64decode("R0lGODlhAQABAIAAAP///wAAACH5BAEAAAAALAAAAAABAAEAAAICRAEAOw==")


def hex_with_blanks(data):
    return " ".join(data[i:i + 2].hex() for i in range(0, len(data), 2))


mac_gourmet = [
    {
        "NAME": "Layered Biscuits",
        "DIRECTIONS": "",
        "DIRECTIONS_LIST": [{"DIRECTION_TEXT": "Mix."}, {"DIRECTION_TEXT": "Bake."}],
        "INGREDIENTS": [
            {"QUANTITY": "2", "MEASUREMENT": "cups", "DESCRIPTION": "flour",
             "DIRECTION": "sifted"},
            {"DIVIDER_INGREDIENT": {"DESCRIPTION": "Topping"},
             "INGREDIENTS": [{"QUANTITY": "1", "MEASUREMENT": "tbsp",
                              "DESCRIPTION": "sugar", "DIRECTION": ""}]},
        ],
        "DIFFICULTY": 4,
        "SERVINGS": 6,
        "SOURCE": "Aunt May",
        "URL": "http://example.org/biscuits",
        "NOTE": "Best warm.",
        "NUTRITION": "200 kcal",
        "PREP_TIMES": [
            {"TIME_TYPE_ID": 8, "AMOUNT": 1, "TIME_UNIT_ID": 1, "AMOUNT_2": 30,
             "TIME_UNIT_2_ID": 2},
            {"TIME_TYPE_ID": 5, "AMOUNT": 20, "TIME_UNIT_ID": 2, "AMOUNT_2": 0,
             "TIME_UNIT_2_ID": 2},
            {"TIME_TYPE_ID": 3, "AMOUNT": 9, "TIME_UNIT_ID": 0},
        ],
        "IMAGE": PIXEL_GIF,
        "CATEGORIES": [{"NAME": "Breads"}, {"NAME": ""}, {"ID": 4}, {"NAME": " Baking "}],
    },
    {
        "NAME": "Tree Salad",
        "DIRECTIONS": "Toss everything.",
        "INGREDIENTS": [],
        "INGREDIENTS_TREE": [
            {"DIVIDER_INGREDIENT": {"DESCRIPTION": "Dressing:"},
             "INGREDIENTS": [{"QUANTITY": "3", "MEASUREMENT": "tbsp",
                              "DESCRIPTION": "olive oil"}]},
        ],
        "DIFFICULTY": 7,
        "SERVINGS": 2.5,
        "PREP_TIMES": [{"TIME_TYPE_ID": 12, "AMOUNT": 1, "TIME_UNIT_ID": 0, "AMOUNT_2": 2,
                        "TIME_UNIT_2_ID": 7}],
        "IMAGE": hex_with_blanks(PIXEL_GIF),
    },
    {
        "NAME": "Plain Water",
        "IMAGE": b"not a picture",
    },
]

yummy_soup_ingredients = plistlib.dumps([
    ["2", "cups", "flour"],
    {"quantity": "1", "measurement": "", "name": "onion", "method": "chopped"},
    ["too", "short"],
    "a bare text",
]).decode()

yummy_soup = [
    {
        "name": "Soup of the Day",
        "attribution": "Grandma",
        "importedFromURL": "http://example.org/soup",
        "yield": "4 bowls",
        "inactivePrepTime": "15 min",
        "cookingTime": "1 hr",
        "rating": 4,
        "notes": "Freezes well.",
        "difficulty": 4,
        "directions": "<p>Chop.</p>SecondImage<br/>Simmer & serve <b",
        "ingredientsArray": yummy_soup_ingredients,
        "image1": PIXEL_GIF,
        "keywords": "Soups, Winter,,  ",
    },
    {
        "name": "Second Picture",
        "difficulty": 2,
        "firstImage": PIXEL_GIF,
        "image1": b"ignored",
        # The older text syntax of property lists.
        "ingredientsArray": '( ( "1", "cup", "rice" ) )',
    },
]

for name, value in (("macgourmet", mac_gourmet), ("yummysoup", yummy_soup)):
    extension = "mgourmet" if name == "macgourmet" else "ysr"
    with open(f"{name}_xml.{extension}", "wb") as out:
        plistlib.dump(value, out, fmt=plistlib.FMT_XML)
    with open(f"{name}_binary.{extension}", "wb") as out:
        plistlib.dump(value, out, fmt=plistlib.FMT_BINARY)
