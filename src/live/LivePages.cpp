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
var POLL = @POLL@;
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
function receive(d) {
  if (!d || !d.entries) return;
  if (d.version === data.version && d.raceMs === data.raceMs) return;
  data = d;
  got = performance.now();
  draw();
}
var poller = 0;
function poll() {
  fetch('/results.json', { cache: 'no-cache' })
    .then(function (r) { if (!r.ok) throw r.status; return r.json(); })
    .then(function (d) { if (d.version !== data.version) receive(d); })
    .catch(function () {});
}
function polling(on) {
  if (on && !poller) poller = setInterval(poll, POLL);
  if (!on && poller) { clearInterval(poller); poller = 0; }
  var s = document.getElementById('live');
  if (s) { s.className = on ? 'live' : 'live on'; s.textContent = on ? 'alle 2 s' : 'live'; }
}
function connect() {
  if (!window.EventSource) { polling(true); return; }
  var es = new EventSource('/events');
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
table { width: 100%; border-collapse: collapse; background: #fff; font-size: 1rem; box-shadow: 0 1px 3px rgba(0,0,0,.15); }
th { background: #91b5ff; color: #10235a; text-align: left; padding: .45rem .35rem; font-size: .85rem; }
td { padding: .5rem .35rem; border-bottom: 1px solid #d8e2f2; vertical-align: top; }
.pl, .nr, .tm { text-align: right; white-space: nowrap; font-variant-numeric: tabular-nums; }
.pl { font-weight: bold; }
/* Place, number and time as narrow as their texts; the name takes the rest
   of the line and breaks only where it does not fit there. */
.pl, .nr, .tm { width: 1%; }
td.nm { overflow-wrap: anywhere; }
tr.sec td { background: #dfe9fb; color: #2b4ba2; font-weight: bold; font-size: .8rem; text-align: left; padding: .3rem .35rem; }
tr.run td { color: #465675; }
tr.run td.tm { font-style: italic; }
tr.free td { color: #8a94a8; }
tr.new td { animation: flash 4s ease-out; }
@keyframes flash { from { background: #fff07a; } to { background: #fff; } }
#empty { text-align: center; color: #6a7894; padding: 2rem 0; }
)css";

const char kResultsScript[] = R"js(
var shownNewest = '';
function placeOf(e) { var n = parseInt(e.place, 10); return isNaN(n) ? 1e9 : n; }
function draw() {
  document.title = 'Zeitenprotokoll ' + data.title;
  document.getElementById('title').textContent = document.title;
  var fin = [], run = [], free = [];
  data.entries.forEach(function (e, i) {
    (e.state === 'finished' ? fin : e.state === 'running' ? run : free).push(i);
  });
  fin.sort(function (a, b) { return placeOf(data.entries[a]) - placeOf(data.entries[b]) || a - b; });
  var newest = data.latest.length ? data.latest[0] : -1;
  var newestKey = newest < 0 ? '' : data.entries[newest].number + '|' + data.entries[newest].time;
  var flash = newestKey !== shownNewest;
  shownNewest = newestKey;
  var rows = document.createDocumentFragment();
  function section(text) {
    var tr = el('tr', 'sec'), td = el('td', '', text);
    td.colSpan = 4;
    tr.appendChild(td);
    rows.appendChild(tr);
  }
  function row(i, cls, place, time) {
    var e = data.entries[i];
    var tr = el('tr', cls + (flash && i === newest ? ' new' : ''));
    tr.appendChild(el('td', 'pl', place));
    tr.appendChild(el('td', 'nr', e.number));
    tr.appendChild(el('td', 'nm', e.name));
    tr.appendChild(el('td', 'tm', time));
    rows.appendChild(tr);
  }
  if (fin.length) {
    section('Im Ziel');
    fin.forEach(function (i) { row(i, 'fin', data.entries[i].place, data.entries[i].time); });
  }
  if (run.length) {
    section('Unterwegs \u2013 gestartet um');
    run.forEach(function (i) { row(i, 'run', '', data.entries[i].start); });
  }
  if (free.length) {
    section('Noch nicht gestartet');
    free.forEach(function (i) { row(i, 'free', '', ''); });
  }
  var body = document.getElementById('rows');
  while (body.firstChild) body.removeChild(body.firstChild);
  body.appendChild(rows);
  document.getElementById('empty').hidden = data.entries.length > 0;
  tick();
}
function tick() {
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
<title>Zeitenprotokoll @TITLE@</title>
<style>@STYLE@</style>
</head>
<body>
<header>
<h1 id="title">Zeitenprotokoll @TITLE@</h1>
<div class="bar"><span class="cap">Rennzeit</span><span id="clock">0,00</span><span class="cap">Uhrzeit</span><span id="tod"></span><span id="live" class="live">verbindet</span></div>
</header>
<main>
<table>
<thead><tr><th class="pl">Platz</th><th class="nr">Nr.</th><th class="nm">Name</th><th class="tm">Zeit</th></tr></thead>
<tbody id="rows"></tbody>
</table>
<p id="empty" hidden>Noch keine Teilnehmer.</p>
<noscript><p>Diese Seite zeigt die Ergebnisse mit JavaScript; die Rohdaten stehen unter <a href="/results.json">/results.json</a>.</p></noscript>
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
  data.latest.forEach(function (index, n) {
    var e = data.entries[index], tr = el('tr');
    if (n === 0) tr.style.color = data.colours.secondRow;
    tr.appendChild(el('td', 'pl', e.place));
    tr.appendChild(el('td', 'nr', e.number));
    tr.appendChild(el('td', 'nm', e.name));
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
<title>Anzeige @TITLE@</title>
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
    QByteArray common(kCommonScript);
    common.replace("@POLL@", QByteArray::number(kPollMs));
    return common + (page == Page::Results ? kResultsScript : kDisplayScript);
}

QByteArray style(Page page)
{
    return page == Page::Results ? kResultsStyle : kDisplayStyle;
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
        parts.top = QByteArray(p == Page::Results ? kResultsTop : kDisplayTop).replace("@STYLE@", style(p));
        parts.bottom = QByteArray(kBottom).replace("@SCRIPT@", script(p));
        parts.policy = "default-src 'none'; script-src " + hashSource(script(p)) + "; style-src " + hashSource(style(p))
            + "; connect-src 'self'; img-src 'self'; base-uri 'none'; form-action 'none'; frame-ancestors 'none'";
        return parts;
    };
    static const Parts results = make(Page::Results);
    static const Parts display = make(Page::Display);
    return page == Page::Results ? results : display;
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
