// Writing the report page: its summary, its table and its sections, every
// text escaped, with the style and the script inline.
#include "report_page.hpp"

#include <algorithm>

#include "utf8_text.hpp"

namespace md3 {

namespace {

// Plain and small: the page must read well printed and without the script.
constexpr std::string_view kStyle = R"(<style>
body { font-family: sans-serif; margin: 1em 2em; color: #222; }
table { border-collapse: collapse; margin: 0.5em 0; }
th, td { border: 1px solid #ccc; padding: 0.2em 0.5em; text-align: left; vertical-align: top; }
td.number { text-align: right; }
th button { font: inherit; font-weight: bold; border: none; background: none; padding: 0; cursor: pointer; }
tr.errors td:nth-child(2), tr.invalid td:nth-child(2), tr.unreadable td:nth-child(2) { color: #b00; font-weight: bold; }
tr.warnings td:nth-child(2) { color: #a60; }
section.record { border-top: 1px solid #ccc; margin-top: 1.5em; }
section.record img { max-width: 100%; height: auto; }
pre { white-space: pre-wrap; }
#controls { margin: 1em 0; }
#summary table { display: inline-table; vertical-align: top; margin-right: 1em; }
dl { display: grid; grid-template-columns: max-content auto; gap: 0 1em; }
dd { margin: 0; }
</style>
)";

// Filters (a row shows when it has the health and the kind chosen) and
// sorting by a column (a second click reverses it; ties keep the page's
// order). Before it runs, or without it, every row shows in the page's order.
constexpr std::string_view kScript = R"(<script>
(function () {
  "use strict";
  var table = document.getElementById("records");
  var body = table.tBodies[0];
  var rows = Array.prototype.slice.call(body.rows);
  var health = document.getElementById("filter-health");
  var kind = document.getElementById("filter-kind");
  function filter() {
    rows.forEach(function (row) {
      row.hidden = (health.value !== "" && row.dataset.health !== health.value) ||
        (kind.value !== "" && row.dataset.kinds.split(" ").indexOf(kind.value) < 0);
    });
  }
  health.addEventListener("change", filter);
  kind.addEventListener("change", filter);
  var current = { key: "", up: true };
  function compare(key, a, b) {
    var x = a.dataset[key], y = b.dataset[key];
    if (key === "size" || key === "rank") return Number(x) - Number(y);
    return x < y ? -1 : x > y ? 1 : 0;
  }
  Array.prototype.forEach.call(table.tHead.rows[0].cells, function (cell) {
    var button = document.createElement("button");
    button.type = "button";
    button.textContent = cell.textContent;
    cell.textContent = "";
    cell.appendChild(button);
    button.addEventListener("click", function () {
      var key = cell.dataset.key;
      current.up = current.key === key ? !current.up : true;
      current.key = key;
      rows.slice().sort(function (a, b) {
        var c = compare(key, a, b);
        return (current.up ? c : -c) || Number(a.dataset.order) - Number(b.dataset.order);
      }).forEach(function (row) { body.appendChild(row); });
    });
  });
  document.getElementById("controls").hidden = false;
  var written = document.getElementById("written");
  if (document.lastModified) written.textContent = document.lastModified;
})();
</script>
)";

std::string number_text(std::int64_t value) {
    return value < 0 ? "unknown" : std::to_string(value);
}

std::string counts_table(const char* id, const char* label, const std::vector<PageCount>& counts) {
    std::string html =
        std::string("<table id=\"") + id + "\">\n<tr><th>" + label + "</th><th>records</th></tr>\n";
    for (const PageCount& c : counts)
        html += "<tr data-name=\"" + html_text(c.name) + "\"><td>" + html_text(c.name) +
                "</td><td class=\"number\">" + std::to_string(c.count) + "</td></tr>\n";
    return html + "</table>\n";
}

std::string summary_section(const PageSummary& s) {
    std::string html = "<section id=\"summary\">\n<h2>Summary</h2>\n<p id=\"summary-line\">" +
                       html_text(s.line) + "</p>\n<dl>\n";
    for (const auto& [label, value] : s.facts)
        html += "<dt>" + html_text(label) + "</dt><dd>" + html_text(value) + "</dd>\n";
    // The date is the file's own, shown by the script: the bytes stay the same.
    html += "<dt>written</dt><dd id=\"written\">(the file's date)</dd>\n</dl>\n";
    html += counts_table("by-health", "health", s.byHealth);
    html += counts_table("by-verdict", "meshmend", s.byVerdict);
    if (!s.byKind.empty()) html += counts_table("by-kind", "problem kind", s.byKind);
    return html + "</section>\n";
}

std::string options_of(const std::vector<PageCount>& counts) {
    std::string html = "<option value=\"\">all</option>";
    for (const PageCount& c : counts)
        html += "<option value=\"" + html_text(c.name) + "\">" + html_text(c.name) + "</option>";
    return html;
}

// Shown only once the script runs: without it nothing would work them.
std::string controls(const PageSummary& s) {
    return "<div id=\"controls\" hidden>\n<label>health <select id=\"filter-health\">" +
           options_of(s.byHealth) + "</select></label>\n<label>problem kind <select " +
           "id=\"filter-kind\">" + options_of(s.byKind) + "</select></label>\n</div>\n";
}

std::string joined(const std::vector<std::string>& words, const char* between) {
    std::string text;
    for (const std::string& w : words) text += (text.empty() ? "" : between) + w;
    return text;
}

std::string table_row(const PageRow& r, std::size_t index) {
    const std::string id = "r" + std::to_string(index + 1);
    const std::string kinds = html_text(joined(r.kinds, " "));
    std::string html =
        "<tr id=\"row-" + id + "\" class=\"" + html_text(r.health) + "\" data-order=\"" +
        std::to_string(index) + "\" data-kind=\"" + html_text(r.kind) + "\" data-path=\"" +
        html_text(r.path) + "\" data-health=\"" + html_text(r.health) + "\" data-rank=\"" +
        std::to_string(r.rank) + "\" data-verdict=\"" + html_text(r.verdict) + "\" data-kinds=\"" +
        kinds + "\" data-size=\"" + std::to_string(r.size) + "\">";
    html += "<td><a href=\"#" + id + "\">" + html_text(r.path) + "</a></td><td>" +
            html_text(r.health) + (r.note.empty() ? "" : " (" + html_text(r.note) + ")") +
            "</td><td>" + html_text(r.verdict) + "</td><td>" + html_text(joined(r.kinds, ", ")) +
            "</td><td class=\"number\">" + (r.file ? number_text(r.size) : "") + "</td><td>" +
            html_text(r.kind) + "</td></tr>\n";
    return html;
}

std::string records_table(const std::vector<PageRow>& rows) {
    std::string html =
        "<table id=\"records\">\n<thead><tr><th data-key=\"path\">path</th><th "
        "data-key=\"rank\">health</th><th data-key=\"verdict\">meshmend</th><th "
        "data-key=\"kinds\">problem kinds</th><th data-key=\"size\">size</th><th "
        "data-key=\"kind\">record</th></tr></thead>\n<tbody>\n";
    for (std::size_t i = 0; i < rows.size(); ++i) html += table_row(rows[i], i);
    return html + "</tbody>\n</table>\n";
}

// Text of several lines, each escaped on its own: a newline in a name is
// shown escaped, the ones between lines are kept.
std::string html_lines(std::string_view text) {
    std::string html;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        html += html_text(text.substr(0, end)) + "\n";
        text.remove_prefix(std::min(end + 1, text.size()));
    }
    return html;
}

// Lines as a list, or a word saying there are none.
std::string lines_list(const std::vector<std::string>& lines, const char* none) {
    if (lines.empty()) return std::string("<p>") + none + "</p>\n";
    std::string html = "<ul>\n";
    for (const std::string& line : lines) html += "<li>" + html_text(line) + "</li>\n";
    return html + "</ul>\n";
}

std::string record_section(const PageRow& r, std::size_t index) {
    const std::string health =
        html_text(r.health) + (r.note.empty() ? "" : " (" + html_text(r.note) + ")");
    std::string html = "<section class=\"record\" id=\"r" + std::to_string(index + 1) +
                       "\">\n<h2>" + html_text(r.path) + "</h2>\n<p>" + html_text(r.kind);
    if (!r.file) {
        html += ": " + health + "</p>\n";
    } else {
        html += ", " + number_text(r.size) + " bytes: " + health +
                "; meshmend: " + html_text(r.verdict) + "</p>\n";
        if (!r.picture.empty())
            html += "<p><img src=\"" + html_text(r.picture) + "\" alt=\"picture of " +
                    html_text(r.path) + "\"></p>\n";
        else
            html += "<p>No picture: " + html_text(r.noPicture) + "</p>\n";
    }
    html += "<h3>Problems</h3>\n" + lines_list(r.problems, "None.");
    if (!r.changes.empty()) html += "<pre>" + html_lines(r.changes) + "</pre>\n";
    return html + "</section>\n";
}

}  // namespace

std::string report_page(const PageSummary& summary, std::vector<PageRow> rows) {
    std::stable_sort(rows.begin(), rows.end(),
                     [](const PageRow& a, const PageRow& b) { return a.rank < b.rank; });
    std::string html(kReportPageHead);
    html += "<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>" +
            html_text(summary.title) + "</title>\n";
    html += kStyle;
    html += "</head>\n<body>\n<h1>" + html_text(summary.title) + "</h1>\n";
    html += summary_section(summary);
    html += "<section id=\"list\">\n<h2>Records, worst first</h2>\n" + controls(summary) +
            records_table(rows) + "</section>\n";
    for (std::size_t i = 0; i < rows.size(); ++i) html += record_section(rows[i], i);
    html += kScript;
    return html + "</body>\n</html>\n";
}

}  // namespace md3
