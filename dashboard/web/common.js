// Shared by every page: elements built with textContent only, the period
// chooser kept in the URL, the database banner and the live update.
'use strict';

const M = {};

M.el = function (tag, text, cls) {
  const e = document.createElement(tag);
  if (text !== undefined && text !== null) e.textContent = String(text);
  if (cls) e.className = cls;
  return e;
};

M.link = function (href, text) {
  const a = M.el('a', text);
  a.href = href;
  return a;
};

M.params = function () {
  return new URLSearchParams(window.location.search);
};

M.pct = function (x) {
  return x === null || x === undefined ? '—' : (x * 100).toFixed(1) + ' %';
};

M.num = function (v, unit) {
  if (v === null || v === undefined) return '—';
  const t = Math.abs(v) >= 1e5 || (Math.abs(v) < 1e-3 && v !== 0) ? v.toExponential(3)
                                                                   : Number(v.toPrecision(5)).toString();
  return unit ? t + ' ' + unit : t;
};

// A run's outcome as the window names it.
M.outcome = function (r) {
  const names = {PASS: '合格', FAIL: '不合格', ERROR: '試験条件エラー', ABORTED: '試験中止'};
  return names[r.outcome] || (r.pass ? '合格' : '不合格');
};

M.count = function (n) {
  return n + ' 件';
};

M.time = function (iso) {
  const d = new Date(iso);
  const p = (n) => String(n).padStart(2, '0');
  return d.getFullYear() + '-' + p(d.getMonth() + 1) + '-' + p(d.getDate()) + ' ' + p(d.getHours()) +
         ':' + p(d.getMinutes()) + ':' + p(d.getSeconds());
};

M.channel = function (c) {
  return 'CH' + c;
};

M.clear = function (node) {
  while (node.firstChild) node.removeChild(node.firstChild);
  return node;
};

// A table: head texts and rows of cells (text or a node).
M.table = function (head, rows) {
  const t = M.el('table');
  const tr = M.el('tr');
  head.forEach((h) => tr.appendChild(M.el('th', h)));
  t.appendChild(M.el('thead')).appendChild(tr);
  const body = t.appendChild(M.el('tbody'));
  rows.forEach((row) => {
    const r = body.appendChild(M.el('tr'));
    row.forEach((c) => {
      const td = r.appendChild(M.el('td'));
      if (c instanceof Node) td.appendChild(c); else td.textContent = c;
    });
  });
  return t;
};

const kDbStates = {
  missing: '結果データベースがありません',
  down: '結果データベースに接続できません',
  locked: '結果データベースがロックされています',
  newer_schema: '新しいプログラムが書いた結果データベースのため読めません',
  not_results: '結果データベースではありません',
};

M.banner = function (text, detail) {
  const b = document.getElementById('banner');
  M.clear(b);
  if (!text) {
    b.hidden = true;
    return;
  }
  b.hidden = false;
  b.appendChild(M.el('strong', text));
  if (detail) b.appendChild(M.el('div', detail, 'detail'));
};

// GET JSON; a database problem or a refused request shows in the banner and gives null.
M.get = async function (url) {
  let r;
  try {
    r = await fetch(url, {credentials: 'same-origin', cache: 'no-store'});
  } catch (e) {
    M.banner('サーバーに接続できません', String(e));
    return null;
  }
  const body = await r.json().catch(() => ({}));
  if (r.status === 503) {
    M.banner(kDbStates[body.state] || kDbStates.down, body.error);
    return null;
  }
  if (r.status === 401) {
    window.location.href = '/login';
    return null;
  }
  if (!r.ok) {
    M.banner('要求が受け付けられませんでした', body.error);
    return null;
  }
  M.banner(null);
  // The newest run this answer knows: live() asks again until it is as new as the latest.
  if (typeof body.as_of_id === 'number') M.asOf = body.as_of_id;
  return body;
};

// The period chooser: today / 7 / 30 days / from–to, kept in the URL.
M.period = function (fallback, onChange) {
  const box = document.getElementById('period');
  const p = M.params();
  const current = p.get('from') ? 'range' : (p.get('period') || fallback);
  const choices = [['today', '今日'], ['7d', '7日間'], ['30d', '30日間']];
  const from = M.el('input');
  from.type = 'date';
  from.id = 'from';
  from.value = p.get('from') || '';
  const to = M.el('input');
  to.type = 'date';
  to.id = 'to';
  to.value = p.get('to') || '';
  const apply = (change) => {
    const q = M.params();
    ['period', 'from', 'to'].forEach((k) => q.delete(k));
    Object.entries(change).forEach(([k, v]) => q.set(k, v));
    history.pushState(null, '', window.location.pathname + '?' + q.toString());
    mark();
    onChange();
  };
  const buttons = choices.map(([value, label]) => {
    const b = M.el('button', label);
    b.type = 'button';
    b.dataset.period = value;
    b.addEventListener('click', () => apply({period: value}));
    box.appendChild(b);
    return b;
  });
  const go = M.el('button', '期間を表示');
  go.type = 'button';
  go.addEventListener('click', () => {
    if (from.value && to.value) apply({from: from.value, to: to.value});
  });
  box.appendChild(from);
  box.appendChild(M.el('span', '〜'));
  box.appendChild(to);
  box.appendChild(go);
  function mark() {
    const q = M.params();
    const now = q.get('from') ? 'range' : (q.get('period') || fallback);
    buttons.forEach((b) => b.classList.toggle('on', b.dataset.period === now));
  }
  mark();
  window.addEventListener('popstate', onChange);
  return current;
};

// The current query's period parameters, to pass on to the API.
M.periodQuery = function () {
  const p = M.params();
  const q = new URLSearchParams();
  ['period', 'from', 'to', 'sim'].forEach((k) => {
    if (p.get(k)) q.set(k, p.get(k));
  });
  return q;
};

// Calls refresh() whenever the newest stored run changes, without reloading the page.
M.live = function (refresh) {
  let seen = null;
  const tick = async () => {
    const r = await fetch('/api/latest', {credentials: 'same-origin', cache: 'no-store'})
                  .then((x) => (x.ok ? x.json() : null))
                  .catch(() => null);
    const status = document.getElementById('live');
    if (r) {
      if (seen !== null && r.id !== seen) {
        M.asOf = undefined;
        await refresh();
      }
      // An answer read before the newest run was stored: ask again at the next tick.
      seen = M.asOf !== undefined && M.asOf < r.id ? -1 : r.id;
      document.body.dataset.latest = String(r.id);
      status.textContent = '自動更新中(最新 ' + (r.started_utc ? M.time(r.started_utc) : 'なし') + ')';
    } else {
      status.textContent = '自動更新: サーバーの応答待ち';
    }
    setTimeout(tick, 2000);
  };
  tick();
};

// A chart drawn afresh on its canvas.
M.chart = function (id, config) {
  const canvas = document.getElementById(id);
  const old = Chart.getChart(canvas);
  if (old) old.destroy();
  config.options = Object.assign({animation: false, responsive: true, maintainAspectRatio: false},
                                 config.options || {});
  return new Chart(canvas, config);
};

M.timeAxis = function () {
  return {type: 'linear', ticks: {callback: (v) => M.time(new Date(v).toISOString()).slice(5, 16)}};
};
