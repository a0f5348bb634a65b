'use strict';
// One figure of one test: trend with limits, X and MR charts with rule breaks,
// histogram with limits, and capability.

function line(label, points, color, dash) {
  return {type: 'line', label: label, data: points, borderColor: color, borderDash: dash || [],
          pointRadius: 0, borderWidth: 1.5, fill: false};
}

// A limit drawn only where it changes (and at the end): one segment per limits file.
function steps(xs, values) {
  const out = [];
  values.forEach((v, i) => {
    if (i === 0 || v !== values[i - 1] || i === values.length - 1)
      out.push({x: xs[i], y: v});
  });
  return out;
}

// A long series: a line without points (failures and rule breaks are datasets of their
// own), thinned to the pixel width by min-max decimation.
function series(label, data, color) {
  return {label: label, data: data, borderColor: color, borderWidth: 1,
          pointRadius: data.length > 500 ? 0 : 2, pointBackgroundColor: color,
          pointHitRadius: 3, spanGaps: true, normalized: true};
}

const kLong = {decimation: {enabled: true, algorithm: 'min-max'}};

function flat(xs, value) {
  return value === null || value === undefined ? [] : [{x: xs[0], y: value}, {x: xs[xs.length - 1], y: value}];
}

async function refresh() {
  const p = M.params();
  const q = M.periodQuery();
  ['test', 'version', 'channel', 'figure'].forEach((k) => {
    if (p.get(k)) q.set(k, p.get(k));
  });
  const d = await M.get('/api/figure?' + q.toString());
  if (!d) return;
  const unit = d.unit;
  document.getElementById('title').textContent =
      d.test + ' ' + d.version + ' / ' + M.channel(d.channel) + ' ' + d.figure + (unit ? '(' + unit + ')' : '');
  document.getElementById('count').textContent =
      M.count(d.points.length) + 'の試験' + (d.truncated ? '(新しい ' + d.points.length + ' 件のみ)' : '') +
      (d.simulated_included ? '、シミュレーションのボードを含む' : '、シミュレーションのボードを除く');
  const s = d.spc;
  const idx = (i) => (i.value === null ? '—(' + i.reason + ')' : i.value.toFixed(3));
  M.clear(document.getElementById('capability')).appendChild(M.table(
      ['n', 'Cp', 'Cpk', 'Pp', 'Ppk', 'Cpu', 'Cpl', 'Ppu', 'Ppl', '平均', 'σ(群内)', 'σ(全体)', '下限', '上限'],
      [[String(s.n), idx(s.cp), idx(s.cpk), idx(s.pp), idx(s.ppk), idx(s.cpu), idx(s.cpl), idx(s.ppu),
        idx(s.ppl), M.num(s.mean, unit), M.num(s.sigma_within, unit), M.num(s.sigma_overall, unit),
        M.num(s.low, unit), M.num(s.high, unit)]]));
  const xs = d.points.map((pt) => Date.parse(pt.started_utc));
  const values = d.points.map((pt, i) => ({x: xs[i], y: pt.value}));
  const yTitle = {title: {display: true, text: unit || d.figure}};
  const failed = d.points.map((pt, i) => ({x: xs[i], y: pt.value})).filter((p, i) => !d.points[i].pass);
  M.chart('trend', {
    type: 'line',
    data: {datasets: [
      series(d.figure, values, '#237'),
      {label: '不合格', data: failed, showLine: false, pointRadius: 3, pointBackgroundColor: '#c00',
       borderColor: '#c00'},
      line('下限', steps(xs, d.points.map((pt) => pt.low)), '#c55', [6, 3]),
      line('上限', steps(xs, d.points.map((pt) => pt.high)), '#c55', [6, 3])]},
    options: {parsing: false, plugins: kLong, scales: {x: M.timeAxis(), y: yTitle}},
  });
  const broken = d.points.map((pt, i) => ({x: xs[i], y: pt.value})).filter((p, i) => d.points[i].rules.length > 0);
  M.chart('individuals', {
    type: 'line',
    data: {datasets: [
      series(d.figure, values, '#237'),
      {label: 'ルール違反', data: broken, showLine: false, pointRadius: 4, pointBackgroundColor: '#c00',
       borderColor: '#c00'},
      line('中心線', flat(xs, s.individuals.centre), '#393'),
      line('UCL', flat(xs, s.individuals.upper), '#c80', [4, 2]),
      line('LCL', flat(xs, s.individuals.lower), '#c80', [4, 2])]},
    options: {parsing: false, plugins: kLong, scales: {x: M.timeAxis(), y: yTitle}},
  });
  const mr = d.points.map((pt, i) => ({x: xs[i], y: pt.moving_range})).filter((m) => m.y !== null);
  M.chart('moving-range', {
    type: 'line',
    data: {datasets: [
      series('MR', mr, '#237'),
      line('中心線', flat(xs, s.moving_range.centre), '#393'),
      line('UCL', flat(xs, s.moving_range.upper), '#c80', [4, 2])]},
    options: {parsing: false, plugins: kLong, scales: {x: M.timeAxis(), y: yTitle}},
  });
  const h = d.histogram;
  const top = Math.max(1, ...h.counts);
  const vline = (label, v) => line(label, v === null ? [] : [{x: v, y: 0}, {x: v, y: top}], '#c55', [6, 3]);
  M.chart('histogram', {
    type: 'bar',
    data: {datasets: [
      {label: '度数', data: h.counts.map((c, i) => ({x: (h.edges[i] + h.edges[i + 1]) / 2, y: c})),
       backgroundColor: '#8ab', barPercentage: 1.0, categoryPercentage: 1.0},
      vline('下限', s.low), vline('上限', s.high)]},
    options: {parsing: false, scales: {x: {type: 'linear', title: {display: true, text: unit || d.figure}},
                                       y: {title: {display: true, text: '件'}}}},
  });
  // The newest 100 breaks as rows (a drifting process can break rule 4 at thousands of
  // points), and how many there are of each rule.
  const breaks = d.points.filter((pt) => pt.rules.length > 0);
  const perRule = [1, 2, 3, 4].map((r) => breaks.filter((pt) => pt.rules.includes(r)).length);
  const rows = breaks.slice(-100).reverse().map((pt) => [
    M.time(pt.started_utc), M.link('/serial?serial=' + encodeURIComponent(pt.serial), pt.serial),
    M.num(pt.value, unit), pt.rules.map((r) => 'ルール ' + r).join('、')]);
  const box = M.clear(document.getElementById('rules'));
  box.appendChild(M.el('p', perRule.map((n, i) => 'ルール ' + (i + 1) + ': ' + M.count(n)).join('　') +
                                (breaks.length > 100 ? '(新しい 100 件を表示)' : ''), 'note'));
  if (rows.length) box.appendChild(M.table(['開始', 'シリアル', '値', '当たったルール'], rows));
}

M.period('30d', refresh);
refresh();
M.live(refresh);
