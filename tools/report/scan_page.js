(function () {
  var table = document.getElementById("rows");
  var body = table.tBodies[0];
  var heads = table.tHead.rows[0].cells;
  var sorted = -1, ascending = true;
  function sortBy(column) {
    ascending = sorted === column ? !ascending : true;
    sorted = column;
    var numeric = heads[column].classList.contains("num");
    var keyed = Array.prototype.map.call(body.rows, function (row, index) {
      var text = row.cells[column].textContent;
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
    var rows = document.createDocumentFragment();
    keyed.forEach(function (k) { rows.appendChild(k.row); });
    body.appendChild(rows);
    for (var i = 0; i < heads.length; ++i) {
      heads[i].classList.remove("up", "down");
      heads[i].removeAttribute("aria-sort");
    }
    heads[column].classList.add(ascending ? "up" : "down");
    heads[column].setAttribute("aria-sort", ascending ? "ascending" : "descending");
  }
  Array.prototype.forEach.call(heads, function (head, column) {
    head.addEventListener("click", function () { sortBy(column); });
  });
})();
