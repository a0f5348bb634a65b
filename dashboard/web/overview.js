'use strict';
// The overview of a period: runs, yields per test and station, runs per hour, Pareto.

function figureHref(test, channel, figure) {
  const q = M.periodQuery();
  q.set('test', test);
  q.set('channel', channel);
  q.set('figure', figure);
  return '/figure?' + q.toString();
}

function yieldRows(list, key, href) {
  return list.map((y) => [href ? M.link(href(y[key]), y[key]) : y[key], M.count(y.runs),
                          String(y.serials), M.pct(y.first_pass_yield), M.pct(y.final_yield)]);
}

async function refresh() {
  const d = await M.get('/api/overview?' + M.periodQuery().toString());
  if (!d) return;
  document.getElementById('runs').textContent = M.count(d.runs);
  document.getElementById('serials').textContent = d.serials + ' 台';
  document.getElementById('first-pass-yield').textContent = M.pct(d.first_pass_yield);
  document.getElementById('final-yield').textContent = M.pct(d.final_yield);
  const head = ['', '試験回数', 'シリアル数', '初回合格率', '最終合格率'];
  M.clear(document.getElementById('by-test'))
      .appendChild(M.table(['試験'].concat(head.slice(1)), yieldRows(d.by_test, 'test')));
  M.clear(document.getElementById('by-station'))
      .appendChild(M.table(['ステーション'].concat(head.slice(1)),
                           yieldRows(d.by_station, 'station', (s) => {
                             const q = M.periodQuery();
                             q.set('station', s);
                             return '/station?' + q.toString();
                           })));
  M.clear(document.getElementById('pareto-table'))
      .appendChild(M.table(['試験', 'チャンネル', '項目', '不合格'],
                           d.pareto.map((p) => [p.test, M.channel(p.channel),
                                                M.link(figureHref(p.test, p.channel, p.figure), p.figure),
                                                M.count(p.failures)])));
  M.clear(document.getElementById('figures'))
      .appendChild(M.table(['試験', 'チャンネル', '項目', '単位'],
                           d.figures.map((f) => [f.test, M.channel(f.channel),
                                                 M.link(figureHref(f.test, f.channel, f.figure), f.figure),
                                                 f.unit || '—'])));
  // One bar per hour that had runs, labelled in local time.
  const hourLabel = (h) => M.time(h.hour_utc).slice(5, 13) + '時';
  M.chart('per-hour', {
    type: 'bar',
    data: {labels: d.per_hour.map(hourLabel),
           datasets: [{label: '試験回数', data: d.per_hour.map((h) => h.runs), backgroundColor: '#4a7'},
                      {label: '合格', data: d.per_hour.map((h) => h.passed), backgroundColor: '#8bd'}]},
    options: {scales: {y: {beginAtZero: true, title: {display: true, text: '件'}}}},
  });
  let total = 0;
  const sum = d.pareto.reduce((a, p) => a + p.failures, 0);
  M.chart('pareto', {
    type: 'bar',
    data: {labels: d.pareto.map((p) => M.channel(p.channel) + ' ' + p.figure),
           datasets: [{label: '不合格(件)', data: d.pareto.map((p) => p.failures), backgroundColor: '#c55'},
                      {type: 'line', label: '累積(%)', yAxisID: 'pct', borderColor: '#234',
                       data: d.pareto.map((p) => ((total += p.failures) / sum) * 100)}]},
    options: {scales: {y: {title: {display: true, text: '件'}}, pct: {position: 'right', min: 0, max: 100}}},
  });
}

M.period('today', refresh);
refresh();
M.live(refresh);
