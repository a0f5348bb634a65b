'use strict';
// One station's runs and yield in a period.

async function refresh() {
  const station = M.params().get('station') || '';
  document.getElementById('title').textContent = 'ステーション ' + station;
  const q = M.periodQuery();
  q.set('station', station);
  const d = await M.get('/api/station?' + q.toString());
  if (!d) return;
  document.getElementById('runs').textContent = M.count(d.runs);
  document.getElementById('first-pass-yield').textContent = M.pct(d.first_pass_yield);
  document.getElementById('final-yield').textContent = M.pct(d.final_yield);
  document.getElementById('late').textContent = M.count(d.spool.late_runs) +
      (d.spool.unknown_runs > 0 ? ' (受信時刻の記録なし ' + M.count(d.spool.unknown_runs) + ')' : '');
  M.clear(document.getElementById('list')).appendChild(M.table(
      ['開始', 'シリアル', '試験', '作業者', '判定', '保存'],
      d.list.slice().reverse().map((r) => [M.time(r.started_utc),
                                           M.link('/serial?serial=' + encodeURIComponent(r.serial), r.serial),
                                           r.test + ' ' + r.version, r.operator || '—',
                                           M.outcome(r),
                                           r.late ? '遅れて保存 (' + M.time(r.received_utc) + ')' : '—'])));
}

M.period('7d', refresh);
refresh();
M.live(refresh);
