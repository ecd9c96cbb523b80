-- A library in an earlier layout of the model, for the conversion tests: recipes had no
-- photoHash column and there were no bookmarks.
CREATE TABLE "Recipe" (id INTEGER PRIMARY KEY, "uid" TEXT, "name" TEXT, "ingredients" TEXT,
  "directions" TEXT, "notes" TEXT, "servings" TEXT, "prepTime" TEXT, "cookTime" TEXT,
  "difficulty" TEXT, "rating" INTEGER, "source" TEXT, "sourceUrl" TEXT, "imageUrl" TEXT,
  "nutritionalInfo" TEXT, "onFavorites" INTEGER, "created" REAL, "photo" TEXT,
  "hashValue" TEXT, "scale" TEXT, "status" TEXT);
CREATE INDEX "Recipe_status" ON "Recipe" (status);
CREATE INDEX "Recipe_uid" ON "Recipe" (uid);
CREATE TABLE "RecipeCategories" ("recipe" INTEGER NOT NULL, "category" INTEGER NOT NULL,
  PRIMARY KEY ("recipe", "category")) WITHOUT ROWID;
CREATE TABLE "RecipeCategory" (id INTEGER PRIMARY KEY, "uid" TEXT, "name" TEXT,
  "orderFlag" INTEGER, "status" TEXT);
CREATE TABLE "Meal" (id INTEGER PRIMARY KEY, "uid" TEXT, "date" REAL, "type" INTEGER,
  "name" TEXT, "orderFlag" INTEGER, "status" TEXT, "recipe" INTEGER);
CREATE TABLE "GroceryListItem" (id INTEGER PRIMARY KEY, "uid" TEXT, "name" TEXT,
  "purchased" INTEGER, "recipeName" TEXT, "aisle" TEXT, "ingredient" TEXT,
  "orderFlag" INTEGER, "status" TEXT);
CREATE TABLE Z_SEQUENCE (entity TEXT PRIMARY KEY, next INTEGER NOT NULL);

INSERT INTO "Recipe" (id, uid, name, ingredients, status) VALUES
  (1, 'UID-LEEK', 'Leek soup', '2 leeks', 'unmodified'),
  (2, 'UID-BREAD', 'Soda bread', '500 g flour', 'modified');
INSERT INTO "RecipeCategory" (id, uid, name, orderFlag, status) VALUES
  (1, 'UID-SOUPS', 'Soups', 1, 'unmodified');
INSERT INTO "RecipeCategories" (recipe, category) VALUES (1, 1);
INSERT INTO "Meal" (id, uid, date, type, name, orderFlag, status, recipe) VALUES
  (1, 'UID-MEAL', 1780000000.0, 2, 'Leek soup', 1, 'unmodified', 1);

PRAGMA application_id = 1297241676;
PRAGMA user_version = 1;
