#include "server/Controllers.h"

namespace miravel::server {

// What the Browser's "Supported Sites" item shows: which pages the service's page parser
// reads. Compiled in, like the web app, so that it always describes the parser that answers.
std::string_view supportedSitesPage() {
    static constexpr std::string_view kPage = R"page(<!doctype html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<meta name="theme-color" content="#2f6b3a">
<title>Supported Sites - Miravel</title>
<style>
:root { --accent: #2f6b3a; --line: #ddd; --muted: #777; font-family: system-ui, sans-serif; }
* { box-sizing: border-box; }
body { margin: 0; background: #fafaf7; color: #222; }
header { background: var(--accent); color: #fff; padding: .6rem 1rem; }
header h1 { font-size: 1.1rem; margin: 0; }
main { max-width: 40rem; margin: 0 auto; padding: 0 1rem 3rem; line-height: 1.5; }
h2 { font-size: .8rem; text-transform: uppercase; letter-spacing: .05em; color: var(--muted);
  margin: 1.5rem 0 .3rem; }
ul { margin: 0; padding: 0; list-style: none; background: #fff; border-top: 1px solid var(--line); }
li { border-bottom: 1px solid var(--line); padding: .7rem 1rem; }
li small { display: block; color: var(--muted); font-size: .85rem; }
code { font-size: .9em; }
</style>
</head>
<body>
<header><h1>Supported Sites</h1></header>
<main>
<p>Save Recipe works on any site, not on a list of them: it reads the recipe that a page
describes in one of the ways below, whoever wrote the page.</p>
<h2>What the parser reads</h2>
<ul>
<li>schema.org Recipe markup in JSON-LD
<small>A <code>&lt;script type="application/ld+json"&gt;</code> element holding a Recipe,
also inside a graph. Most recipe sites and food blogs publish it for search engines.</small></li>
<li>schema.org Recipe markup in microdata
<small>Elements with <code>itemscope</code> and
<code>itemtype="https://schema.org/Recipe"</code>, and their <code>itemprop</code>
values.</small></li>
<li>The markup of the common recipe plugins
<small>The recipe cards that blog plugins write, whose containers are classed as a recipe's
ingredients and instructions.</small></li>
<li>Plain headings
<small>Failing all of these, an "Ingredients" heading followed by a list, and a
"Directions" or "Instructions" heading followed by the steps.</small></li>
</ul>
<h2>When a page has none of these</h2>
<p>The Browser says that no recipe was found on the page. Select the recipe's name,
ingredients and directions on the page one after the other and capture each into its field
instead.</p>
</main>
</body>
</html>
)page";
    return kPage;
}

}  // namespace miravel::server
