// The live dashboard: the Now panel from /events, history and the learned clear sky from the
// JSON endpoints. Everything it loads comes from the monitor itself.
(function () {
  'use strict';
  var NO_CONTACT_MS = 30000;
  var $ = function (id) { return document.getElementById(id); };
  var html = document.documentElement;

  var current = null;        // the last state document
  var lastSafe = null;       // to notice a change of verdict while we watch
  var since = null;          // {time: Date, live: bool}
  var lastEvent = Date.now();
  var lastConnect = 0;
  var loadedAt = new Date();
  var source = null;
  var model = null;
  var range = null;          // {from, to, window}
  var recentRows = null;     // the default range's rows, for "since" before we saw a change
  var bands = [];            // [[ms, safe 0..1]] for the chart's shading

  // ---- formatting -------------------------------------------------------------------------
  function pad(n) { return (n < 10 ? '0' : '') + n; }
  function ymd(d) { return d.getFullYear() + '-' + pad(d.getMonth() + 1) + '-' + pad(d.getDate()); }
  function hm(d) { return pad(d.getHours()) + ':' + pad(d.getMinutes()); }
  function addDays(d, n) { return new Date(d.getFullYear(), d.getMonth(), d.getDate() + n); }
  function num(v, digits) { return typeof v === 'number' && isFinite(v) ? v.toFixed(digits) : '—'; }
  // The history's times carry no zone: they are the monitor's local time, as is ours.
  function localTime(s) {
    var p = s.split(/[-T:]/).map(Number);
    return new Date(p[0], p[1] - 1, p[2], p[3] || 0, p[4] || 0, p[5] || 0);
  }
  function duration(ms) {
    var s = Math.max(0, Math.round(ms / 1000));
    if (s < 120) return s + ' s';
    if (s < 7200) return Math.floor(s / 60) + ' min';
    if (s < 172800) return Math.floor(s / 3600) + ' h ' + Math.floor(s % 3600 / 60) + ' min';
    return Math.floor(s / 86400) + ' days';
  }
  function when(d) {
    return (ymd(d) === ymd(new Date()) ? '' : ymd(d) + ' ') + hm(d);
  }
  function getJSON(url) {
    return fetch(url, {cache: 'no-store'}).then(function (r) {
      if (!r.ok) return r.text().then(function (t) { throw new Error(t.trim() || r.status); });
      return r.json();
    });
  }

  // ---- colours ----------------------------------------------------------------------------
  function palette() {
    var night = html.classList.contains('night');
    return night ? {
      series: ['#ff2020', '#a01010', '#d04040', '#701010'], grid: '#300', axis: '#800',
      safe: 'rgba(120,0,0,0.9)', unsafe: 'rgba(255,0,0,0.9)', shade: 'rgba(90,0,0,0.35)',
      points: ['#700', '#ff3030', '#c02020']
    } : {
      series: ['#1f5fbf', '#d0701a', '#1a9a3a', '#8a8a8a'], grid: '#e4e4e4', axis: '#888',
      safe: 'rgba(10,125,44,0.85)', unsafe: 'rgba(192,22,28,0.85)', shade: 'rgba(192,22,28,0.10)',
      points: ['#9ab', '#d0701a', '#1a9a3a']
    };
  }

  // ---- the learned clear sky --------------------------------------------------------------
  // Outside the ambient range it was learned on, the curve goes on along its tangent rather
  // than letting the exponential run away.
  function clearSky(a) {
    if (!model || !model.learned) return null;
    var f = function (x) { return model.c + model.k1 * x + model.k3 * Math.exp(x / 10); };
    var df = function (x) { return model.k1 + model.k3 / 10 * Math.exp(x / 10); };
    if (a < model.lowAmbient) return f(model.lowAmbient) + df(model.lowAmbient) * (a - model.lowAmbient);
    if (a > model.highAmbient) return f(model.highAmbient) + df(model.highAmbient) * (a - model.highAmbient);
    return f(a);
  }

  // ---- Now panel --------------------------------------------------------------------------
  function showState(s) {
    current = s;
    if (lastSafe !== null && s.safe !== lastSafe) since = {time: new Date(s.time), live: true};
    lastSafe = s.safe;
    if (!since || !since.live) sinceFromHistory();
    $('verdict').textContent = s.safe ? 'SAFE' : 'UNSAFE';
    $('reason').textContent = s.reason || '';
    $('state').textContent = s.state || '—';
    $('cover').textContent = num(s.cloudCover, 0);
    $('sky').textContent = num(s.sky, 1);
    $('ambient').textContent = num(s.ambient, 1);
    $('difference').textContent = num(s.difference, 1);
    tick();
  }

  // Before we have seen a change, the verdict has held since the first row after the last one
  // that disagrees with it.
  function sinceFromHistory() {
    if (!current || !recentRows) return;
    var flag = current.safe ? 1 : 0;
    for (var i = recentRows.length - 1; i >= 0; i--) {
      if ((recentRows[i][4] ? 1 : 0) !== flag) {
        var row = recentRows[i + 1] || recentRows[i];
        since = {time: localTime(row[0]), live: false};
        return;
      }
    }
    since = null;
  }

  function tick() {
    var now = Date.now(), silent = now - lastEvent;
    var lost = silent >= NO_CONTACT_MS;
    var panel = $('now');
    panel.classList.toggle('nocontact', lost);
    panel.classList.toggle('safe', !lost && !!current && current.safe === true);
    panel.classList.toggle('unsafe', !lost && !!current && current.safe === false);
    if (lost) {
      // A stale SAFE is the one thing this page must never show.
      $('verdict').textContent = 'NO CONTACT';
      $('contact').textContent = 'No contact with the monitor for ' + Math.round(silent / 1000) + ' s';
      // A hung server keeps the stream open and silent; only a fresh connection notices.
      if (now - lastConnect > 15000) connect();
    } else {
      $('contact').textContent = '';
      if (current) $('verdict').textContent = current.safe ? 'SAFE' : 'UNSAFE';
    }
    if (current && current.time) $('age').textContent = duration(now - Date.parse(current.time)) + ' ago';
    $('since').textContent = !current ? '' : since
      ? 'since ' + when(since.time) + ' (' + duration(now - since.time) + ')'
      : 'unchanged since page load (' + hm(loadedAt) + ')';
  }

  function connect() {
    lastConnect = Date.now();
    if (source) source.close();
    source = new EventSource('/events');
    source.onmessage = function (e) {
      var wasLost = Date.now() - lastEvent >= NO_CONTACT_MS;
      try { var s = JSON.parse(e.data); } catch (err) { return; }
      lastEvent = Date.now();
      showState(s);
      if (wasLost) loadStatic();  // the monitor may have restarted with other data
    };
    source.onerror = function () {
      // The browser retries by itself unless the answer was not a stream at all.
      if (source.readyState === EventSource.CLOSED) setTimeout(function () {
        if (source.readyState === EventSource.CLOSED) connect();
      }, 5000);
    };
  }

  // ---- main chart -------------------------------------------------------------------------
  function shade(ctx, area, g) {
    if (!bands.length) return;
    var c = palette(), strip = 6, y = area.y + area.h - strip;
    for (var i = 0; i < bands.length; i++) {
      var x0 = g.toDomXCoord(bands[i][0]);
      var x1 = i + 1 < bands.length ? g.toDomXCoord(bands[i + 1][0]) : x0 + 2;
      var safe = bands[i][1];
      if (safe < 0.5) { ctx.fillStyle = c.shade; ctx.fillRect(x0, area.y, x1 - x0, area.h - strip); }
      ctx.globalAlpha = safe > 0 && safe < 1 ? 0.35 + 0.65 * safe : 1;
      ctx.fillStyle = safe > 0 ? c.safe : c.unsafe;
      ctx.fillRect(x0, y, x1 - x0 + 0.5, strip);
      ctx.globalAlpha = 1;
    }
  }

  function chartOptions(labels, daily) {
    var c = palette(), series = {}, narrow = window.innerWidth < 480;
    series[labels[labels.length - 1]] = {axis: 'y2', strokeWidth: 1};
    if (labels.indexOf('Clear sky °C') >= 0) series['Clear sky °C'] = {strokePattern: [6, 3]};
    return {
      labels: labels, customBars: daily, series: series,
      colors: labels.indexOf('Clear sky °C') >= 0 ? c.series : [c.series[0], c.series[1], c.series[3]],
      legend: 'always', labelsDiv: $('legend'), labelsSeparateLines: false,
      gridLineColor: c.grid, axisLineColor: c.axis,
      ylabel: narrow ? null : '°C', y2label: narrow ? null : 'cover %',
      axes: {x: {axisLabelWidth: 80, pixelsPerLabel: 90},
             y2: {valueRange: [0, 100], independentTicks: true, drawGrid: false}},
      underlayCallback: shade, strokeWidth: 1.5, highlightCircleSize: 3,
      xRangePad: 0, yRangePad: 8
    };
  }

  function showHistory(h) {
    var rows = h.rows, data = [], learned = model && model.learned;
    var labels = ['Time', 'Sky °C', 'Ambient °C'].concat(learned ? ['Clear sky °C'] : [], ['Cover %']);
    bands = [];
    rows.forEach(function (r) {
      var row;
      if (h.daily) {
        var t = localTime(r[0]), cs = [clearSky(r[4]), clearSky(r[5]), clearSky(r[6])];
        var cover = r[7] === null ? null : [r[7], r[7], r[7]];
        row = [t, [r[1], r[2], r[3]], [r[4], r[5], r[6]]];
        if (learned) row.push([Math.min(cs[0], cs[2]), cs[1], Math.max(cs[0], cs[2])]);
        row.push(cover);
        bands.push([t.getTime(), Math.min(1, r[8] / 10)]);
      } else {
        row = [localTime(r[0]), r[2], r[1]];
        if (learned) row.push(clearSky(r[1]));
        row.push(r[3]);
        bands.push([row[0].getTime(), r[4]]);
      }
      data.push(row);
    });
    $('chart-msg').textContent = rows.length ? '' : 'No readings between ' + h.from + ' and ' + h.to + '.';
    if (window.skarvelChart) { window.skarvelChart.destroy(); window.skarvelChart = null; }
    if (!rows.length) return;
    var opts = chartOptions(labels, h.daily);
    if (range.window) opts.dateWindow = range.window;
    window.skarvelChart = new Dygraph($('chart'), data, opts);
    showFit(h);
  }

  function loadRange(from, to, window_, button) {
    range = {from: from, to: to, window: window_};
    ['range-3', 'range-30', 'range-365'].forEach(function (id) {
      $(id).classList.toggle('active', id === button);
    });
    $('chart-msg').textContent = 'Loading…';
    var mine = range;
    return getJSON('/history.json?from=' + from + '&to=' + to).then(function (h) {
      if (mine !== range) return;  // a newer choice was made meanwhile
      if (button === 'range-3') { recentRows = h.rows; if (!since || !since.live) sinceFromHistory(); tick(); }
      showHistory(h);
    }, function (err) {
      if (mine === range) $('chart-msg').textContent = 'History not available: ' + err.message;
    });
  }

  function rangeDays(days) {
    var today = new Date();
    return loadRange(ymd(addDays(today, -days)), ymd(today), null, 'range-' + days);
  }

  // ---- the learned clear sky chart --------------------------------------------------------
  function showFit(h) {
    if (!model) return;
    var pts = [];
    (h ? h.rows : []).forEach(function (r) {
      if (h.daily) pts.push([r[5], r[2], null]);
      else if (r[1] !== null && r[2] !== null) pts.push([r[1], r[2], null]);
    });
    (model.envelope || []).forEach(function (e) { pts.push([e[0], null, e[1]]); });
    if (model.learned) {
      var lo = Math.min(model.lowAmbient - 2, Math.min.apply(null, pts.map(function (p) { return p[0]; }))),
        hi = Math.max(model.highAmbient + 2, Math.max.apply(null, pts.map(function (p) { return p[0]; })));
      for (var i = 0; i <= 40; i++) pts.push([lo + (hi - lo) * i / 40, null, null]);
      pts.forEach(function (p) { p.push(clearSky(p[0])); });
    }
    pts.sort(function (a, b) { return a[0] - b[0]; });
    $('skyfit-text').textContent = model.learned
      ? 'Clear sky = ' + model.c.toFixed(2) + ' + ' + model.k1.toFixed(3) + '·A + ' + model.k3.toFixed(3) +
        '·e^(A/10) °C; residual ' + model.residual.toFixed(2) + ' °C; learned on ambient ' +
        model.lowAmbient.toFixed(1) + ' … ' + model.highAmbient.toFixed(1) + ' °C from ' + model.lines + ' lines.'
      : 'Not learned: ' + model.why;
    if (window.skarvelFit) { window.skarvelFit.destroy(); window.skarvelFit = null; }
    if (!pts.length) return;
    var c = palette();
    var labels = ['Ambient °C', 'Sky °C', 'Clear-sky envelope'].concat(model.learned ? ['Fitted clear sky'] : []);
    window.skarvelFit = new Dygraph($('skyfit'), pts, {
      labels: labels, colors: c.points, legend: 'always', labelsDiv: $('skyfit-legend'),
      gridLineColor: c.grid, axisLineColor: c.axis, xlabel: 'ambient °C', ylabel: 'sky °C',
      drawPoints: true, strokeWidth: 0, pointSize: 1.5, highlightCircleSize: 3,
      series: {'Clear-sky envelope': {pointSize: 4}, 'Fitted clear sky': {strokeWidth: 2, drawPoints: false}},
      axes: {x: {valueFormatter: function (v) { return v.toFixed(1) + ' °C'; },
                 axisLabelFormatter: function (v) { return v.toFixed(0); }}}
    });
  }

  // ---- nights -----------------------------------------------------------------------------
  function showNights(list) {
    var body = $('nights');
    body.textContent = '';
    list.slice(0, 14).forEach(function (n) {
      var tr = document.createElement('tr');
      [n.evening, num(n.hoursSafe, 1), num(n.longestSafeHours, 1), String(n.changes),
        n.meanCover === null ? '—' : num(n.meanCover, 0)].forEach(function (v) {
        var td = document.createElement('td');
        td.textContent = v;
        tr.appendChild(td);
      });
      tr.tabIndex = 0;
      var open = function () {
        Array.prototype.forEach.call(body.children, function (r) { r.classList.toggle('selected', r === tr); });
        var e = localTime(n.evening), next = addDays(e, 1);
        loadRange(ymd(e), ymd(next), [e.getTime() + 12 * 3600e3, next.getTime() + 12 * 3600e3], null);
        $('chart').scrollIntoView({behavior: 'smooth', block: 'center'});
      };
      tr.addEventListener('click', open);
      tr.addEventListener('keydown', function (ev) { if (ev.key === 'Enter') open(); });
      body.appendChild(tr);
    });
  }

  function loadStatic() {
    getJSON('/nights.json').then(showNights, function () {});
    return getJSON('/skymodel.json').then(function (m) { model = m; }, function (err) {
      $('skyfit-text').textContent = 'Sky model not available: ' + err.message;
    });
  }

  // ---- night mode -------------------------------------------------------------------------
  function setNight(on) {
    html.classList.toggle('night', on);
    try { localStorage.setItem('skarvel.nightMode', on ? '1' : '0'); } catch (e) {}
    $('nightmode').textContent = on ? 'Day mode' : 'Night mode';
    var c = palette();
    [window.skarvelChart, window.skarvelFit].forEach(function (g, i) {
      if (g) g.updateOptions({colors: i ? c.points : g.getLabels().length === 5 ? c.series :
        [c.series[0], c.series[1], c.series[3]], gridLineColor: c.grid, axisLineColor: c.axis});
    });
  }

  // ---- start ------------------------------------------------------------------------------
  $('nightmode').textContent = html.classList.contains('night') ? 'Day mode' : 'Night mode';
  $('nightmode').addEventListener('click', function () { setNight(!html.classList.contains('night')); });
  $('range-3').addEventListener('click', function () { rangeDays(3); });
  $('range-30').addEventListener('click', function () { rangeDays(30); });
  $('range-365').addEventListener('click', function () { rangeDays(365); });
  getJSON('/state.json').then(showState, function () {});
  connect();
  loadStatic().then(function () { return rangeDays(3); });
  setInterval(tick, 1000);
  // Keep the default view current without fighting a zoom the user made.
  setInterval(function () {
    var g = window.skarvelChart;
    if (range && range.from === ymd(addDays(new Date(), -3)) && (!g || !g.isZoomed())) rangeDays(3);
  }, 300000);
})();
