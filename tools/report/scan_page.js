(function () {
  "use strict";
  var table = document.getElementById("rows");
  var body = table.tBodies[0];
  var heads = table.tHead.rows[0].cells;
  var rows = Array.prototype.slice.call(body.rows);
  var counts = document.getElementById("counts");
  var within = document.getElementById("within");
  var search = document.getElementById("search");
  var status = document.getElementById("status");
  var download = document.getElementById("download");

  // Filters: one kind (or all), any of the markets and phases, how recently the phase began, a
  // search over code and name.
  function chosen(name) {
    var group = document.querySelector('[data-filter="' + name + '"]');
    var values = {};
    Array.prototype.forEach.call(group.querySelectorAll("button.on"), function (b) {
      values[b.getAttribute("data-value")] = true;
    });
    return values;
  }
  function fill(template, values) {
    return template.replace(/\{(\w+)\}/g, function (_, name) { return values[name]; });
  }
  function shown() {
    return rows.filter(function (row) { return !row.hidden; });
  }
  function apply() {
    var kinds = chosen("kind"), markets = chosen("market"), phases = chosen("phase");
    var recent = parseInt(within.value, 10);
    var text = search.value.trim().toLowerCase();
    var tally = {shown: 0, rising: 0, falling: 0, flat: 0, changed: 0, stale: 0};
    var recentBars = isNaN(recent) ? parseInt(within.placeholder, 10) : recent;
    rows.forEach(function (row) {
      var d = row.dataset;
      var visible = (kinds.all || kinds[d.kind]) && (markets[d.market] || d.market === "other") &&
          phases[d.phase] && (isNaN(recent) || parseInt(d.bars, 10) <= recent) &&
          (text === "" || d.code.toLowerCase().indexOf(text) >= 0 ||
           row.cells[1].textContent.toLowerCase().indexOf(text) >= 0);
      row.hidden = !visible;
      if (!visible) return;
      if (d.behind !== "0") {
        ++tally.stale;
        return;
      }
      ++tally.shown;
      ++tally[d.phase];
      if (parseInt(d.bars, 10) <= recentBars) ++tally.changed;
    });
    counts.innerHTML = fill(counts.getAttribute("data-counts"), {
      shown: tally.shown, rising: tally.rising, falling: tally.falling, none: tally.flat,
      changed: tally.changed, within: recentBars
    }) + (tally.stale ? fill(counts.getAttribute("data-stale"), {stale: tally.stale}) : "");
    status.textContent = "";
    listLink();
  }
  Array.prototype.forEach.call(document.querySelectorAll("#filters .group"), function (group) {
    var multi = group.hasAttribute("data-multi");
    group.addEventListener("click", function (event) {
      var button = event.target.closest("button");
      if (!button) return;
      if (multi) {
        button.classList.toggle("on");
      } else {
        Array.prototype.forEach.call(group.querySelectorAll("button"), function (b) {
          b.classList.toggle("on", b === button);
        });
      }
      apply();
    });
  });
  within.addEventListener("input", apply);
  search.addEventListener("input", apply);

  // The codes of the rows shown, one per line with CR LF, as the terminal's block import reads.
  function codes() {
    return shown().map(function (row) { return row.dataset.code; }).join("\r\n") + "\r\n";
  }
  // Copied as they are: the copy command's event hands the list itself to the clipboard, for a
  // text field's value has its line ends made LF (the field is selected only so that there is
  // something to copy); where the command is refused, the asynchronous clipboard takes it.
  document.getElementById("copy").addEventListener("click", function () {
    var list = codes(), button = this;
    var done = function () {
      status.textContent = fill(button.getAttribute("data-copied"), {n: shown().length});
    };
    var put = function (event) {
      event.clipboardData.setData("text/plain", list);
      event.preventDefault();
    };
    var area = document.createElement("textarea");
    area.value = list;
    document.body.appendChild(area);
    area.select();
    document.addEventListener("copy", put);
    var copied = false;
    try { copied = document.execCommand("copy"); } catch (e) { copied = false; }
    document.removeEventListener("copy", put);
    document.body.removeChild(area);
    if (copied) {
      done();
    } else if (navigator.clipboard) {
      navigator.clipboard.writeText(list).then(done);
    }
  });
  // The download link is the same list, kept up to date so that it can also be saved from the
  // link's menu.
  function listLink() {
    download.href = "data:text/plain;charset=utf-8," + encodeURIComponent(codes());
  }

  // Sorting by a clicked column, the other way on a second click; numeric columns by value (an
  // empty cell last), ties kept in their order.
  var sorted = -1, ascending = true;
  function sortBy(column) {
    ascending = sorted === column ? !ascending : true;
    sorted = column;
    var numeric = heads[column].classList.contains("num");
    var keyed = rows.map(function (row, index) {
      var cell = row.cells[column].firstChild;
      var text = cell ? (cell.textContent || "") : "";
      return {row: row, index: index, key: numeric ? (text === "" ? NaN : Number(text)) : text};
    });
    keyed.sort(function (a, b) {
      var x = a.key, y = b.key, order = 0;
      if (numeric && (isNaN(x) || isNaN(y))) {
        order = isNaN(x) === isNaN(y) ? 0 : isNaN(x) ? 1 : -1;
        return order || a.index - b.index;
      }
      order = x < y ? -1 : x > y ? 1 : 0;
      return (ascending ? order : -order) || a.index - b.index;
    });
    rows = keyed.map(function (k) { return k.row; });
    var fragment = document.createDocumentFragment();
    rows.forEach(function (row) { fragment.appendChild(row); });
    body.appendChild(fragment);
    for (var i = 0; i < heads.length; ++i) {
      heads[i].classList.remove("up", "down");
      heads[i].removeAttribute("aria-sort");
    }
    heads[column].classList.add(ascending ? "up" : "down");
    heads[column].setAttribute("aria-sort", ascending ? "ascending" : "descending");
    listLink();
  }
  Array.prototype.forEach.call(heads, function (head, column) {
    head.addEventListener("click", function () { sortBy(column); });
  });

  apply();
})();
