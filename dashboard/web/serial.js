'use strict';
// Every run of one serial, each figure with its margin to the nearest limit.

async function refresh() {
  const serial = M.params().get('serial') || '';
  document.getElementById('title').textContent = 'シリアル ' + serial;
  const d = await M.get('/api/serial?' + new URLSearchParams({serial: serial}).toString());
  if (!d) return;
  const box = M.clear(document.getElementById('runs'));
  if (d.runs.length === 0) box.appendChild(M.el('p', 'このシリアルの試験はありません'));
  d.runs.forEach((r) => {
    const sec = box.appendChild(M.el('section'));
    sec.className = 'run';
    sec.appendChild(M.el('h2', M.time(r.started_utc) + ' ' + M.outcome(r) +
                                   (r.simulated ? '(シミュレーションのボード)' : '')));
    sec.appendChild(M.table(['試験', '版', 'ステーション', '作業者', '判定', 'ボード'],
                            [[r.test, r.version, r.station, r.operator || '—', M.outcome(r),
                              r.simulated ? 'シミュレーション' : 'USB']]));
    sec.appendChild(M.table(['チャンネル', '項目', '値', '下限', '上限', '余裕', '判定'],
                            r.figures.map((f) => [M.channel(f.channel), f.figure, M.num(f.value, f.unit),
                                                  M.num(f.low, f.unit), M.num(f.high, f.unit),
                                                  M.num(f.margin, f.unit), f.pass ? '合格' : '不合格'])));
  });
}

refresh();
M.live(refresh);
