// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "live/LivePages.h"

#include "platform/HtmlText.h"

#include <QCryptographicHash>

namespace live {

namespace {

// ---- shared by both pages ------------------------------------------------------------
// Everything the pages show is set with textContent or attributes, never as
// markup, so a name cannot turn into page content.
const char kCommonScript[] = R"js('use strict';
var data = JSON.parse(document.getElementById('data').textContent);
var got = performance.now();
var POLL = @POLL@, SOURCE = '@SOURCE@', STREAM = '@STREAM@';
// A page copied to a web host has no event stream and no server clock: it
// polls the file beside it and tells how old its results are.
var STATIC = !STREAM;
function pad(n) { return (n < 10 ? '0' : '') + n; }
function runText(ms, acc) {
  var v = Math.floor(ms / 10), frac = '';
  if (acc > 0) frac = acc === 1 ? String(Math.floor(v / 10) % 10) : pad(v % 100);
  v = Math.floor(v / 100);
  var t = pad(v % 60);
  if (acc > 0) t += ',' + frac;
  v = Math.floor(v / 60);
  t = pad(v % 60) + '.' + t;
  v = Math.floor(v / 60);
  t = pad(v % 100) + ':' + t;
  var i = 0;
  while (i < t.length && !(t[i] >= '1' && t[i] <= '9')) i++;
  return t.substring(i < 8 ? i : 7);
}
function raceNow() {
  return Math.max(0, data.running ? data.raceMs + (performance.now() - got) : data.raceMs);
}
function timeOfDay() {
  var s = Math.floor((data.timeOfDayMs + performance.now() - got) / 1000) % 86400;
  return Math.floor(s / 3600) + ':' + pad(Math.floor(s / 60) % 60) + ':' + pad(s % 60);
}
function el(tag, cls, text) {
  var e = document.createElement(tag);
  if (cls) e.className = cls;
  if (text !== undefined) e.textContent = text;
  return e;
}
// A delta names the version it applies to; one that does not fit what the
// page has (a change missed) is not applied, the page fetches the whole
// results instead.
function applyDelta(old, d) {
  var byId = {}, entries = [], i;
  old.entries.forEach(function (e) { byId[e.id] = e; });
  d.changed.forEach(function (e) { byId[e.id] = e; });
  if (d.order) {
    d.order.forEach(function (p) {
      if (typeof p === 'string') { entries.push(byId[p]); return; }
      for (i = p[0]; i < p[0] + p[1]; i++) entries.push(old.entries[i] && byId[old.entries[i].id]);
    });
  } else {
    entries = old.entries.map(function (e) { return byId[e.id]; });
  }
  if (entries.some(function (e) { return !e; })) return null;
  // The held results stay as they were: an entry whose value changes is copied.
  var runs = d.runs || {}, k = 0, f;
  function set(value) {
    var e = entries[k], c = {};
    // Runs carry texts; a number field (a number or null in the results)
    // gets its number back.
    if (e && (typeof e[f] === 'number' || e[f] === null)) value = value === '' ? null : Number(value);
    if (e && e[f] !== value) {
      for (var key in e) c[key] = e[key];
      c[f] = value;
      entries[k] = c;
    }
    k++;
  }
  for (f in runs) {
    k = 0;
    runs[f].forEach(function (r) {
      if (typeof r === 'string') { set(r); return; }
      for (i = 0; i < r[0]; i++) set(typeof r[1] === 'string' ? r[1] : String(r[1] + i));
    });
    if (k !== entries.length) return null;
  }
  var out = { entries: entries };
  for (var key in d)
    if (key !== 'base' && key !== 'changed' && key !== 'order' && key !== 'runs') out[key] = d[key];
  return out;
}
function receive(d) {
  if (!d) return;
  if (d.base !== undefined) {
    d = d.base === data.version && data.entries ? applyDelta(data, d) : null;
    if (!d) { poll(); return; }
  }
  if (d.version === data.version && d.raceMs === data.raceMs) return;
  data = d;
  got = performance.now();
  draw();
}
var poller = 0;
function poll() {
  fetch(SOURCE, { cache: 'no-cache' })
    .then(function (r) { if (!r.ok) throw r.status; return r.json(); })
    .then(function (d) { if (d.version !== data.version) receive(d); })
    .catch(function () {});
}
function polling(on) {
  if (on && !poller) poller = setInterval(poll, POLL);
  if (!on && poller) { clearInterval(poller); poller = 0; }
  var s = document.getElementById('live');
  if (s) {
    s.className = on ? 'live' : 'live on';
    s.textContent = on ? 'alle ' + String(POLL / 1000).replace('.', ',') + ' s' : 'live';
  }
}
// The stream starts from the version the page has: it sends only what
// changed since (on a reconnect the browser names the last event it got).
function connect() {
  if (STATIC || !window.EventSource) { polling(true); return; }
  var es = new EventSource(STREAM + '?since=' + data.version);
  es.onopen = function () { polling(false); };
  es.onmessage = function (e) { try { receive(JSON.parse(e.data)); } catch (x) {} };
  es.onerror = function () {
    polling(true);
    if (es.readyState === 2) setTimeout(connect, 30000);
  };
}
)js";

// ---- the results page ----------------------------------------------------------------
const char kResultsStyle[] = R"css(
:root { color-scheme: light; }
body { margin: 0; font-family: "Liberation Sans", Arial, Helvetica, sans-serif; background: #ecf5ff; color: #1c2f66; }
header { position: sticky; top: 0; z-index: 1; background: #2b4ba2; color: #fff; padding: .5rem .75rem .6rem; box-shadow: 0 2px 4px rgba(0,0,0,.3); }
h1 { font-size: 1.05rem; margin: 0 0 .2rem; font-weight: bold; overflow-wrap: anywhere; }
.bar { display: flex; align-items: baseline; gap: .35rem; flex-wrap: wrap; }
.cap { font-size: .7rem; text-transform: uppercase; letter-spacing: .04em; opacity: .7; }
#clock { margin-right: .7rem; }
#clock { font-size: 1.7rem; font-weight: bold; font-variant-numeric: tabular-nums; color: #ffe94d; }
#tod { font-variant-numeric: tabular-nums; opacity: .85; }
.live { margin-left: auto; font-size: .8rem; opacity: .9; }
.live::before { content: ""; display: inline-block; width: .6em; height: .6em; border-radius: 50%; background: #f93; margin-right: .35em; }
.live.on::before { background: #4e4; }
main { padding: .5rem; max-width: 60rem; margin: 0 auto; }
table { width: 100%; table-layout: fixed; border-collapse: collapse; background: #fff; font-size: 1rem; box-shadow: 0 1px 3px rgba(0,0,0,.15); }
th { background: #91b5ff; color: #10235a; text-align: left; padding: .45rem .35rem; font-size: .85rem; }
td { padding: .5rem .35rem; border-bottom: 1px solid #d8e2f2; vertical-align: top; }
.pl, .nr, .tm { text-align: right; white-space: nowrap; overflow: hidden; text-overflow: ellipsis; font-variant-numeric: tabular-nums; }
.pl { width: 2.4em; font-weight: bold; }
.nr { width: 2.8em; }
.tm { width: 5.9em; }
/* A long name wraps anywhere and shows at most three lines, so a row stays
   within the screen's width and well below a third of its height. */
td.nm div { display: -webkit-box; -webkit-box-orient: vertical; -webkit-line-clamp: 3; line-clamp: 3; overflow: hidden; overflow-wrap: anywhere; max-height: 4.2em; }
tr.sec td { background: #dfe9fb; color: #2b4ba2; font-weight: bold; font-size: .8rem; text-align: left; padding: .3rem .35rem; }
tr.run td { color: #465675; }
tr.run td.tm { font-style: italic; font-size: .88rem; }
tr.free td { color: #8a94a8; }
tr.cls td { background: #2b4ba2; color: #fff; font-weight: bold; font-size: .95rem; text-align: left; padding: .4rem .35rem; }
tr.out td { color: #6a7894; }
tr.out td.pl { color: #a01818; font-size: .8rem; }
tr.new td { animation: flash 4s ease-out; }
@keyframes flash { from { background: #fff07a; } to { background: #fff; } }
#empty { text-align: center; color: #6a7894; padding: 2rem 0; }
)css";

const char kResultsScript[] = R"js(
var shownNewest = '';
// Rows are kept by entry identity and only changed where their texts
// changed, so a delta touches a few rows, not the whole table.
var rowsById = {}, sections = {}, drawn = 0;
function setText(node, text) { if (node.textContent !== text) node.textContent = text; }
// The entries come in the order the results list them (class by class,
// ranked by place, then the others, then DNF, DSQ, DNS); the page shows that
// order as it is and only puts headings where a class or a kind of row begins.
var KINDS = {
  fin: ['Im Ziel', ''],
  run: ['Unterwegs \u2013 gestartet um', 'unterwegs \u2013 gestartet um'],
  free: ['Noch nicht gestartet', ''],
  out: ['', '']
};
function kindOf(e) {
  return e.status ? 'out' : e.state === 'finished' ? 'fin' : e.state === 'running' ? 'run' : 'free';
}
function draw() {
  document.title = 'Zeitenprotokoll ' + data.title;
  setText(document.getElementById('title'), document.title);
  var classes = data.classes || [];
  var wanted = [], seen = {};
  drawn++;
  var newest = data.latest.length ? data.latest[0] : -1;
  var newestKey = newest < 0 ? '' : data.entries[newest].id + '|' + data.entries[newest].time;
  var flash = newestKey !== shownNewest;
  shownNewest = newestKey;
  // A heading row, kept like the entries' rows; the same heading again
  // further down is a row of its own.
  function section(key, text, cls) {
    var id = key + '|' + text;
    seen[id] = (seen[id] || 0) + 1;
    id += '|' + seen[id];
    var tr = sections[id];
    if (!tr) {
      tr = sections[id] = el('tr', cls || 'sec');
      var td = el('td', '', text);
      td.colSpan = 4;
      tr.appendChild(td);
    }
    wanted.push(tr);
  }
  // In run 2 of two runs a finisher shows the total with both runs and the
  // gap to the leader beside the name, everyone else run 1's time.
  var two = data.run === 2;
  function runsLine(e) {
    return '1. Lauf ' + (e.run1 || e.run1Status || '\u2013') + ' \u00b7 2. Lauf ' + (e.time || '\u2013') +
      (e.behind ? ' \u00b7 ' + e.behind : '');
  }
  // With timing stations a started entry says where its start was taken
  // and shows its interim times.
  function stationsLine(e) {
    if (!data.stations || !e.startFrom) return '';
    var parts = ['Start ' + (e.startFrom === 'Ziel' ? 'im Ziel' : 'an Station ' + e.startFrom)];
    for (var k = 1; k <= 4; k++) if (e['interim' + k]) parts.push('Zwischenzeit ' + k + ' ' + e['interim' + k]);
    return parts.join(' \u00b7 ');
  }
  function joined(a, b) { return a && b ? a + ' \u00b7 ' + b : a || b; }
  function row(i, cls, place, time, extra) {
    var e = data.entries[i], r = rowsById[e.id];
    if (!r) {
      r = rowsById[e.id] = { tr: el('tr'), pl: el('td', 'pl'), nr: el('td', 'nr'), nm: el('div'), tm: el('td', 'tm') };
      var nm = el('td', 'nm');
      nm.appendChild(r.nm);
      [r.pl, r.nr, nm, r.tm].forEach(function (td) { r.tr.appendChild(td); });
    }
    r.drawn = drawn;
    var c = cls + (i === newest && (flash || r.tr.className.indexOf(' new') > 0) ? ' new' : '');
    if (r.tr.className !== c) r.tr.className = c;
    setText(r.pl, place);
    setText(r.nr, e.number);
    setText(r.nm, extra && e.name ? e.name + ' \u2013 ' + extra : extra || e.name);
    setText(r.tm, time);
    wanted.push(r.tr);
  }
  // With classes each class has its heading and only runners get one of
  // their own; without, every kind of row has its heading.
  var klass = null, kind = '';
  data.entries.forEach(function (e, i) {
    var k = classes.length ? e['class'] || '' : '';
    if (k !== klass) {
      if (classes.length) section('class', k || 'ohne Klasse', 'cls');
      klass = k;
      kind = '';
    }
    var now = kindOf(e), head = KINDS[now][classes.length ? 1 : 0];
    if (two && now === 'run') head = (classes.length ? 'u' : 'U') + 'nterwegs \u2013 mit dem 1. Lauf';
    if (now !== kind && head) section('class:' + k, head);
    kind = now;
    if (now === 'fin') row(i, 'fin', e.place, two ? e.total || e.time : e.time, joined(two ? runsLine(e) : '', stationsLine(e)));
    else if (now === 'run') row(i, 'run', '', two ? e.run1 || '' : e.start, joined(two ? '1. Lauf' : '', stationsLine(e)));
    else if (now === 'free') row(i, 'free', '', two ? e.run1 || '' : '', two && e.run1 ? '1. Lauf' : '');
    else row(i, 'out', e.status, e.time);
  });
  for (var id in rowsById) if (rowsById[id].drawn !== drawn) delete rowsById[id];
  var body = document.getElementById('rows'), at = body.firstChild;
  wanted.forEach(function (tr) {
    if (tr === at) at = at.nextSibling;
    else body.insertBefore(tr, at);
  });
  while (at) { var next = at.nextSibling; body.removeChild(at); at = next; }
  document.getElementById('empty').hidden = data.entries.length > 0;
  tick();
}
function tick() {
  if (STATIC) {
    var s = Math.floor(data.timeOfDayMs / 1000) % 86400;
    setText(document.getElementById('tod'), pad(Math.floor(s / 3600)) + ':' + pad(Math.floor(s / 60) % 60) + ':' + pad(s % 60));
    return;
  }
  document.getElementById('clock').textContent = runText(raceNow(), data.accuracy);
  document.getElementById('tod').textContent = timeOfDay();
}
draw();
connect();
setInterval(tick, 100);
)js";

const char kResultsTop[] = R"html(<!DOCTYPE html>
<html lang="de">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
@POLICY@<title>Zeitenprotokoll @TITLE@</title>
<style>@STYLE@</style>
</head>
<body>
<header>
<h1 id="title">Zeitenprotokoll @TITLE@</h1>
<div class="bar">@BAR@<span id="live" class="live">verbindet</span></div>
</header>
<main>
<table>
<thead><tr><th class="pl">Platz</th><th class="nr">Nr.</th><th class="nm">Name</th><th class="tm">Zeit</th></tr></thead>
<tbody id="rows"></tbody>
</table>
<p id="empty" hidden>Noch keine Teilnehmer.</p>
<noscript><p>Diese Seite zeigt die Ergebnisse mit JavaScript; die Rohdaten stehen unter <a href="@RAW@">@RAW@</a>.</p></noscript>
</main>
<script type="application/json" id="data">)html";

// ---- the display page ----------------------------------------------------------------
const char kDisplayStyle[] = R"css(
html, body { height: 100%; margin: 0; overflow: hidden; }
body { background: #000; color: #ff0; font-family: "Liberation Sans", Arial, Helvetica, sans-serif; display: flex; flex-direction: column; }
#head { display: flex; justify-content: space-between; padding: 1.2vh 2.5vw 0; font-size: 3vh; opacity: .75; }
#clock { flex: 0 0 44vh; display: flex; justify-content: center; align-items: center; }
#clock svg { height: 88%; max-width: 96vw; }
#list { flex: 1; padding: 0 3vw 2vh; min-height: 0; }
h2 { font-size: 2.8vh; font-weight: normal; margin: 0 0 .6vh; opacity: .75; }
table { width: 100%; border-collapse: collapse; table-layout: fixed; font-size: 6vh; line-height: 1.15; }
td { padding: .4vh .8vw; white-space: nowrap; overflow: hidden; text-overflow: ellipsis; }
/* The time keeps room for "1:05.03,12" on a 4:3 screen; the name takes the rest. */
.pl { width: 8%; text-align: right; }
.nr { width: 11%; text-align: right; }
.tm { width: 24%; text-align: right; font-variant-numeric: tabular-nums; }
.pl, .nr { font-variant-numeric: tabular-nums; }
)css";

const char kDisplayScript[] = R"js(
var NS = 'http://www.w3.org/2000/svg';
// Seven segments of a 45 x 89 digit (half stroke 5, gap 1): top, middle,
// bottom, upper left, upper right, lower left, lower right.
var SEGMENTS = (function () {
  var W = 44, H = 88, h = 44, t = 5, s = 1, shapes = [];
  [0, h - t, H - 2 * t].forEach(function (b) {
    shapes.push([[s + t, b + t], [2 * t + s, b], [W - 2 * t - s, b], [W - t - s, b + t], [W - 2 * t - s, b + 2 * t], [2 * t + s, b + 2 * t]]);
  });
  [[0, 0], [W - 2 * t, 0], [0, h - t], [W - 2 * t, h - t]].forEach(function (o) {
    var e = o[0], b = o[1];
    shapes.push([[e, b + 2 * t + s], [e + t, b + t + s], [e + 2 * t, b + 2 * t + s], [e + 2 * t, b + h - t - s], [e + t, b + h - s], [e, b + h - t - s]]);
  });
  return shapes.map(function (p) { return p.map(function (q) { return q.join(','); }).join(' '); });
})();
var MASKS = [0x7D, 0x50, 0x37, 0x57, 0x5A, 0x4F, 0x6F, 0x51, 0x7F, 0x5F];
var LEFTS = [8, 88, 136, 216, 264, 344, 392];
var WIDTHS = [316, 399, 444];
var svg = document.createElementNS(NS, 'svg');
svg.setAttribute('role', 'img');
var digits = LEFTS.map(function (x) {
  var g = document.createElementNS(NS, 'g');
  g.setAttribute('transform', 'translate(' + x + ',5)');
  var segs = SEGMENTS.map(function (points) {
    var p = document.createElementNS(NS, 'polygon');
    p.setAttribute('points', points);
    g.appendChild(p);
    return p;
  });
  svg.appendChild(g);
  return { g: g, segs: segs, value: -1, colour: '' };
});
function mark(x, y, w, h) {
  var r = document.createElementNS(NS, 'rect');
  r.setAttribute('x', x); r.setAttribute('y', y); r.setAttribute('width', w); r.setAttribute('height', h);
  svg.appendChild(r);
  return r;
}
var colon = [mark(68, 30, 10, 10), mark(68, 60, 10, 10)];
var point = [mark(199, 83, 10, 10)];
var comma = [mark(327, 83, 10, 10), mark(331, 93, 5, 6)];
document.getElementById('clock').appendChild(svg);
function showDigit(d, value, colour) {
  if (d.value === value && d.colour === colour) return;
  d.value = value;
  d.colour = colour;
  var mask = MASKS[value] || MASKS[0];
  d.segs.forEach(function (p, i) { p.setAttribute('fill', mask & (1 << i) ? colour : data.colours.background); });
}
function paint(marks, colour) { marks.forEach(function (m) { m.setAttribute('fill', colour); }); }
function tick() {
  var ms = raceNow(), acc = data.accuracy, c = Math.floor(ms / 10);
  var f = c % 100, s = Math.floor(c / 100) % 60, m = Math.floor(c / 6000) % 60, h = Math.floor(c / 360000) % 100;
  var values = [h % 10, Math.floor(m / 10), m % 10, Math.floor(s / 10), s % 10, Math.floor(f / 10), f % 10];
  var lit = [h > 0, h + Math.floor(m / 10) > 0, h + m > 0, h + m + Math.floor(s / 10) > 0, true, true, true];
  var on = data.colours.digit, dim = data.colours.dim;
  digits.forEach(function (d, i) { showDigit(d, values[i], lit[i] ? on : dim); });
  paint(colon, lit[0] ? on : dim);
  paint(point, lit[2] ? on : dim);
  paint(comma, on);
  digits[5].g.style.display = acc > 0 ? '' : 'none';
  digits[6].g.style.display = acc > 1 ? '' : 'none';
  comma.forEach(function (r) { r.style.display = acc > 0 ? '' : 'none'; });
  svg.setAttribute('viewBox', '0 0 ' + (WIDTHS[acc] || 444) + ' 100');
  svg.setAttribute('aria-label', runText(ms, acc));
  document.getElementById('tod').textContent = timeOfDay();
}
function draw() {
  document.title = 'Anzeige ' + data.title;
  document.body.style.background = data.colours.background;
  document.body.style.color = data.colours.digit;
  document.getElementById('title').textContent = data.title;
  digits.forEach(function (d) { d.value = -1; });
  var rows = document.getElementById('rows');
  while (rows.firstChild) rows.removeChild(rows.firstChild);
  data.latest.forEach(function (e, n) {
    var tr = el('tr');
    if (n === 0) tr.style.color = data.colours.secondRow;
    tr.appendChild(el('td', 'pl', e.place));
    tr.appendChild(el('td', 'nr', e.number));
    tr.appendChild(el('td', 'nm', e['class'] ? e.name + ' \u00b7 ' + e['class'] : e.name));
    tr.appendChild(el('td', 'tm', e.time));
    rows.appendChild(tr);
  });
  tick();
}
draw();
connect();
setInterval(tick, 30);
)js";

const char kDisplayTop[] = R"html(<!DOCTYPE html>
<html lang="de">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
@POLICY@<title>Anzeige @TITLE@</title>
<style>@STYLE@</style>
</head>
<body>
<div id="head"><span id="title">@TITLE@</span><span id="live" class="live">verbindet</span><span id="tod"></span></div>
<div id="clock"></div>
<div id="list">
<h2>Zuletzt im Ziel</h2>
<table><tbody id="rows"></tbody></table>
</div>
<script type="application/json" id="data">)html";

const char kBottom[] = "</script>\n<script>@SCRIPT@</script>\n</body>\n</html>\n";

QByteArray script(Page page)
{
    const bool results = page != Page::Display;
    QByteArray common(kCommonScript);
    common.replace("@POLL@", QByteArray::number(page == Page::Static ? kStaticPollMs : kPollMs));
    // The copy on a web host reads the file beside it, wherever the folder is.
    common.replace("@SOURCE@",
        page == Page::Static ? QByteArray(kResultsPath).mid(1)
            : results        ? kResultsPath
                             : kDisplayDataPath);
    common.replace("@STREAM@", page == Page::Static ? "" : results ? kEventsPath : kDisplayEventsPath);
    return common + (results ? kResultsScript : kDisplayScript);
}

QByteArray style(Page page)
{
    return page == Page::Display ? kDisplayStyle : kResultsStyle;
}

QByteArray hashSource(const QByteArray& text)
{
    return "'sha256-" + QCryptographicHash::hash(text, QCryptographicHash::Sha256).toBase64() + "'";
}

struct Parts {
    QByteArray top; // up to the data block, with @TITLE@ left to fill
    QByteArray bottom;
    QByteArray policy;
};

const Parts& parts(Page page)
{
    auto make = [](Page p) {
        Parts parts;
        parts.policy = "default-src 'none'; script-src " + hashSource(script(p)) + "; style-src " + hashSource(style(p))
            + "; connect-src 'self'; img-src 'self'; base-uri 'none'; form-action 'none'";
        // A web host sends its own headers: the copy carries its policy in
        // the page (where frame-ancestors has no effect).
        const QByteArray meta = p == Page::Static
            ? "<meta http-equiv=\"Content-Security-Policy\" content=\"" + parts.policy + "\">\n"
            : QByteArray();
        if (p != Page::Static)
            parts.policy += "; frame-ancestors 'none'";
        parts.top = QByteArray(p == Page::Display ? kDisplayTop : kResultsTop)
                        .replace("@STYLE@", style(p))
                        .replace("@POLICY@", meta)
                        .replace("@BAR@",
                            p == Page::Static ? "<span class=\"cap\">Stand</span><span id=\"tod\"></span>"
                                              : "<span class=\"cap\">Rennzeit</span><span id=\"clock\">0,00</span>"
                                                "<span class=\"cap\">Uhrzeit</span><span id=\"tod\"></span>")
                        .replace("@RAW@", p == Page::Static ? QByteArray(kResultsPath).mid(1) : kResultsPath);
        parts.bottom = QByteArray(kBottom).replace("@SCRIPT@", script(p));
        return parts;
    };
    static const Parts results = make(Page::Results);
    static const Parts display = make(Page::Display);
    static const Parts copy = make(Page::Static);
    return page == Page::Results ? results : page == Page::Display ? display : copy;
}

} // namespace

QString HtmlEscaped(const QString& text)
{
    return platform::EscapeHtml(text, platform::HtmlQuotes::Both);
}

QByteArray PageHead(Page page, const QString& title)
{
    return QByteArray(parts(page).top).replace("@TITLE@", HtmlEscaped(title).toUtf8());
}

QByteArray PageTail(Page page)
{
    return parts(page).bottom;
}

QByteArray PageHtml(Page page, const QString& title, const QByteArray& resultsJson)
{
    return PageHead(page, title) + resultsJson + PageTail(page);
}

QByteArray PagePolicy(Page page)
{
    return parts(page).policy;
}

} // namespace live
