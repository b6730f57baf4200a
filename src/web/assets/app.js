// The directory page: the server filters, searches and orders the rows (the
// window's own rules); this script only asks for the rows in view, draws
// them and follows the server's event stream. Every text from the network
// is set as text, never as markup.
'use strict';

const ROW = 22;        // px, as in app.css
const MARGIN = 40;     // rows fetched beyond the visible ones
const $ = (id) => document.getElementById(id);

const state = {
  columns: [], filters: [], directories: [], dir: null, filter: 'all', sort: 'name', search: '',
  total: 0, rows: new Map(), loaded: { from: 0, to: 0, gen: -1 }, gen: 0,
  view: 'list', selectedIndex: -1, selectedId: null, pendingSelect: false, event: '', source: null, refreshTimer: 0, treeTimer: 0,
};

function el(tag, cls, text) {
  const e = document.createElement(tag);
  if (cls) e.className = cls;
  if (text !== undefined) e.textContent = text;
  return e;
}

async function getJson(url) {
  const r = await fetch(url, { cache: 'no-store' });
  if (!r.ok) throw new Error(url + ': ' + r.status);
  return r.json();
}

function setStatus(text, live) {
  const s = $('status');
  s.textContent = text;
  s.className = 'status ' + (live ? 'live' : 'down');
}

// ---- the directory tree ----
function buildTree() {
  const byParent = new Map();
  for (const d of state.directories) {
    const key = d.parent === null ? '' : d.parent;
    if (!byParent.has(key)) byParent.set(key, []);
    byParent.get(key).push(d);
  }
  const make = (d) => {
    const li = el('li');
    li.setAttribute('role', 'none');
    const node = el('span', 'node' + (d.heard ? '' : ' unheard'));
    node.setAttribute('role', 'treeitem');
    node.dataset.id = d.id;
    node.setAttribute('aria-selected', String(d.id === state.dir));
    node.append(document.createTextNode(d.name));
    node.append(el('span', 'n', '(' + d.sessions + ')'));
    if (!d.heard) node.title = 'Not listened to';
    node.addEventListener('click', () => showDirectory(d.id));
    li.append(node);
    const kids = (byParent.get(d.id) || []).slice().sort((a, b) => a.name.localeCompare(b.name));
    if (kids.length) {
      const ul = el('ul');
      ul.setAttribute('role', 'group');
      for (const k of kids) ul.append(make(k));
      li.append(ul);
    }
    return li;
  };
  const tree = $('tree');
  tree.replaceChildren(...(byParent.get('') || []).map(make));
}

// The chosen directory and session live in the address's fragment, so a
// link to them can be shared and reloaded.
function readAddress() {
  const q = new URLSearchParams(location.hash.slice(1));
  return { dir: q.get('dir'), session: q.get('session'), view: q.get('view') };
}

function writeAddress() {
  const q = new URLSearchParams({ dir: state.dir });
  if (state.selectedId) q.set('session', state.selectedId);
  if (state.view && state.view !== 'list') q.set('view', state.view);
  const hash = '#' + q.toString();
  if (location.hash !== hash) history.replaceState(null, '', hash);
}

async function loadTree() {
  const j = await getJson('/api/v1/directories');
  state.directories = j.directories;
  if (!state.dir) {
    // Fresh: the TTL Scope, where nearly every session is heard.
    const scope = state.directories.find((d) => d.name === 'TTL Scope');
    state.dir = scope ? scope.id : 'main';
  }
  if (!state.directories.some((d) => d.id === state.dir)) state.dir = 'main';
  buildTree();
  return j.event;
}

function treeKeys(ev) {
  const nodes = [...$('tree').querySelectorAll('.node')];
  let i = nodes.findIndex((n) => n.dataset.id === state.dir);
  if (ev.key === 'ArrowDown') i = Math.min(nodes.length - 1, i + 1);
  else if (ev.key === 'ArrowUp') i = Math.max(0, i - 1);
  else if (ev.key === 'Home') i = 0;
  else if (ev.key === 'End') i = nodes.length - 1;
  else return;
  ev.preventDefault();
  if (nodes[i]) showDirectory(nodes[i].dataset.id);
}

// ---- the session list ----
function buildHead() {
  const head = $('list-head');
  head.replaceChildren();
  // The window's widths share the room; no column gets narrower than a
  // tenth over its width in the window (at most 220 px, a start time's),
  // as the page's font is a little wider, so short cells stay whole.
  const widths = state.columns.map((c) => 'minmax(' + Math.min(Math.round(c.width * 1.1), 220) + 'px, ' + c.width + 'fr)').join(' ');
  document.documentElement.style.setProperty('--cols', widths);
  state.columns.forEach((c) => {
    const b = el('button', '', c.title);
    b.type = 'button';
    b.setAttribute('role', 'columnheader');
    const up = c.sort, down = '-' + c.sort;
    b.setAttribute('aria-sort', state.sort === up ? 'ascending' : state.sort === down ? 'descending' : 'none');
    b.addEventListener('click', () => { state.sort = state.sort === up ? down : up; buildHead(); reloadList(true); });
    head.append(b);
  });
}

function listUrl(from, count) {
  const q = new URLSearchParams({ filter: state.filter, sort: state.sort, offset: String(from), limit: String(count) });
  if (state.search) q.set('search', state.search);
  return '/api/v1/directories/' + encodeURIComponent(state.dir) + '/sessions?' + q.toString();
}

function visibleRange() {
  const list = $('list');
  const first = Math.max(0, Math.floor(list.scrollTop / ROW));
  const count = Math.ceil(list.clientHeight / ROW) + 1;
  return [first, Math.min(state.total, first + count)];
}

let fetching = null;
async function fetchRows(force) {
  const [first, last] = visibleRange();
  const l = state.loaded;
  if (!force && l.gen === state.gen && first >= l.from && (last <= l.to || l.to >= state.total)) return;
  const from = Math.max(0, first - MARGIN), count = (last - first) + 2 * MARGIN;
  const gen = state.gen;
  const token = {};
  fetching = token;
  const j = await getJson(listUrl(from, count));
  if (fetching !== token) return; // a newer request took over
  if (!state.event) state.event = j.event;
  state.total = j.total;
  state.rows = new Map();
  j.sessions.forEach((s, i) => state.rows.set(from + i, s));
  state.loaded = { from, to: from + j.sessions.length, gen };
  if (state.pendingSelect) {
    // A keyboard move to a row that was not loaded yet.
    const s = state.rows.get(state.selectedIndex);
    if (s) applySelection(s);
  } else if (state.selectedId !== null) {
    let found = -1;
    for (const [i, s] of state.rows) if (s.id === state.selectedId) found = i;
    if (found >= 0) state.selectedIndex = found;
  }
  render();
}

const pool = [];
function render() {
  const list = $('list');
  $('list-space').style.height = (state.total * ROW) + 'px';
  list.setAttribute('aria-rowcount', String(state.total));
  $('count').textContent = state.total + (state.total === 1 ? ' session' : ' sessions');
  const [first, last] = visibleRange();
  let used = 0;
  for (let i = first; i < last; i++) {
    const s = state.rows.get(i);
    if (!s) continue;
    let row = pool[used];
    if (!row) {
      row = el('div', 'row');
      row.setAttribute('role', 'row');
      for (let c = 0; c < 5; c++) { const cell = el('span'); cell.setAttribute('role', 'gridcell'); row.append(cell); }
      row.addEventListener('click', () => select(Number(row.dataset.index), true));
      row.addEventListener('dblclick', () => $('details').focus());
      pool.push(row);
      list.append(row);
    }
    used++;
    row.hidden = false;
    row.dataset.index = String(i);
    row.dataset.id = s.id;
    row.style.top = (i * ROW) + 'px';
    row.className = 'row' + (s.active ? '' : ' inactive') + (s.is_directory ? ' dir' : '');
    row.setAttribute('aria-rowindex', String(i + 1));
    row.setAttribute('aria-selected', String(s.id === state.selectedId));
    const cells = row.children, texts = [s.name, s.info, s.start, s.type, s.media];
    for (let c = 0; c < 5; c++) if (cells[c].textContent !== texts[c]) cells[c].textContent = texts[c];
    row.title = s.name;
  }
  for (let k = used; k < pool.length; k++) pool[k].hidden = true;
}

function reloadList(toTop) {
  state.gen++;
  if (toTop) { $('list').scrollTop = 0; state.selectedIndex = -1; }
  fetchRows(true).catch(() => {});
}

function scheduleRefresh() {
  if (state.refreshTimer) return;
  state.refreshTimer = setTimeout(() => { state.refreshTimer = 0; reloadList(false); }, 120);
}

function scheduleTree() {
  if (state.treeTimer) return;
  state.treeTimer = setTimeout(() => { state.treeTimer = 0; loadTree().catch(() => {}); }, 300);
}

function showDirectory(id) {
  if (id === state.dir) return;
  state.dir = id;
  writeAddress();
  for (const n of $('tree').querySelectorAll('.node')) n.setAttribute('aria-selected', String(n.dataset.id === id));
  reloadList(true);
  if (state.view === 'mosaic') { $('tiles').scrollTop = 0; mosaic.selected = 0; followMosaic(); }
}

function applySelection(s) {
  state.pendingSelect = false;
  if (state.selectedId === s.id) return;
  state.selectedId = s.id;
  writeAddress();
  showDetails(s.id).catch(() => {});
}

function select(index, fromClick) {
  if (index < 0 || index >= state.total) return;
  state.selectedIndex = index;
  state.pendingSelect = true;
  const list = $('list');
  const top = index * ROW;
  if (top < list.scrollTop) list.scrollTop = top;
  else if (top + ROW > list.scrollTop + list.clientHeight) list.scrollTop = top + ROW - list.clientHeight;
  const s = state.rows.get(index);
  if (s) applySelection(s);
  fetchRows(false).catch(() => {});
  render();
  if (fromClick) list.focus();
}

function listKeys(ev) {
  const page = Math.max(1, Math.floor($('list').clientHeight / ROW) - 1);
  let i = state.selectedIndex;
  switch (ev.key) {
    case 'ArrowDown': i = i < 0 ? 0 : i + 1; break;
    case 'ArrowUp': i = Math.max(0, i - 1); break;
    case 'PageDown': i += page; break;
    case 'PageUp': i -= page; break;
    case 'Home': i = 0; break;
    case 'End': i = state.total - 1; break;
    case 'Enter': {
      const s = state.rows.get(i);
      if (s && s.is_directory) showDirectory(s.id); else $('download-sdp').focus();
      ev.preventDefault();
      return;
    }
    default: return;
  }
  ev.preventDefault();
  select(Math.max(0, Math.min(state.total - 1, i)), false);
}

// ---- one session's details ----
let sdpText = '';
async function showDetails(id) {
  const [j, sdp] = await Promise.all([
    getJson('/api/v1/sessions/' + encodeURIComponent(id)),
    fetch('/api/v1/sessions/' + encodeURIComponent(id) + '.sdp', { cache: 'no-store' }).then((r) => (r.ok ? r.text() : '')),
  ]);
  if (state.selectedId !== id) return;
  const r = j.record;
  $('details').hidden = false;
  $('d-name').textContent = r.name;
  $('d-name').className = '';
  $('d-info').textContent = r.information;
  $('d-directory').textContent = j.directory === null ? 'MBone' : j.directory;
  const row = [...state.rows.values()].find((s) => s.id === id);
  $('d-type').textContent = row ? row.type : String(r.session_type);
  $('d-status').textContent = j.schedule.status;
  $('d-schedule').textContent = j.schedule.description;
  $('d-contact').textContent = [r.email, r.phone, r.uri].filter((x) => x).join('  ·  ');
  const o = r.origin;
  $('d-origin').textContent = [o.user, o.session_id, o.version, o.network_type, o.address_type, o.address].join(' ');
  const body = $('d-media');
  body.replaceChildren();
  for (const m of r.media) {
    const tr = el('tr');
    const formats = m.payloads.map((p) => p.name || String(p.number)).join(', ') || m.format_list;
    for (const t of [m.media, m.connection.address || m.address, m.port, String(m.ttl), m.protocol, formats]) tr.append(el('td', '', t));
    body.append(tr);
  }
  sdpText = sdp;
  $('d-sdp').textContent = sdp;
  const sdpUrl = '/api/v1/sessions/' + encodeURIComponent(id) + '.sdp';
  $('download-sdp').href = sdpUrl;
  $('download-sdp').setAttribute('download', id + '.sdp');
  $('open-player').href = '/api/v1/playlist.m3u?session=' + encodeURIComponent(id);
  $('open-player').setAttribute('download', id + '.m3u');
  $('copy-note').textContent = '';
  showWatch(id, j.watch);
}

function markGone() {
  $('d-name').className = 'gone';
  $('d-status').textContent = 'Removed';
  $('d-schedule').textContent = 'This session is no longer announced.';
}

async function copySdp() {
  try {
    await navigator.clipboard.writeText(sdpText);
  } catch (e) {
    // Without a secure context the clipboard API is missing: copy the
    // selected text instead.
    const range = document.createRange();
    range.selectNodeContents($('d-sdp'));
    const sel = window.getSelection();
    sel.removeAllRanges();
    sel.addRange(range);
    document.execCommand('copy');
  }
  $('copy-note').textContent = 'Copied';
}

// ---- watching a session ----
async function post(url, body) {
  const r = await fetch(url, { method: 'POST', headers: { 'Content-Type': 'application/json' }, body: JSON.stringify(body) });
  const j = await r.json().catch(() => ({}));
  if (!r.ok) throw new Error(j.error || String(r.status));
  return j;
}

const percent = (v) => (v === null || v === undefined ? 'not known yet' : (v * 100).toFixed(v < 1 ? 2 : 0) + ' %');

function showWatch(id, w) {
  $('d-watch').hidden = !w;
  if (!w) return;
  const b = $('watch');
  b.textContent = w.watched ? 'Stop Watching' : 'Watch';
  b.onclick = () => post('/api/v1/watch', { session: id, watch: !w.watched })
    .then(() => showDetails(id)).catch((e) => { $('w-state').textContent = e.message; });
  $('w-state').textContent = !w.watched ? '' : w.waiting ? 'Waiting for its turn' : w.up ? 'Up' : 'Down';
  $('w-figures').hidden = $('w-bar').hidden = $('w-hours').hidden = !w.watched;
  if (!w.watched) return;
  $('w-day').textContent = percent(w.availability_24h);
  $('w-week').textContent = percent(w.availability_7d);
  const bar = $('w-bar');
  bar.setAttribute('aria-label', 'Availability in each hour of the last 24 hours');
  bar.replaceChildren(...(w.bar_24h || []).map((v, i) => {
    const cell = el('i');
    cell.title = (24 - i) + ' h ago: ' + percent(v);
    if (v !== null) cell.style.background = v >= 0.999 ? '#3fae4b' : v >= 0.9 ? '#d9a520' : '#e04848';
    return cell;
  }));
}

// ---- the mosaic ----
const TILE_W = 252, TILE_H = 190;
const mosaic = { cols: 1, total: 0, tiles: new Map(), selected: 0, timer: 0, ages: new Map() };

function mosaicGeometry() {
  const box = $('tiles');
  mosaic.cols = Math.max(1, Math.floor(box.clientWidth / TILE_W));
  const firstRow = Math.floor(box.scrollTop / TILE_H);
  const rows = Math.ceil(box.clientHeight / TILE_H) + 1;
  return [firstRow * mosaic.cols, Math.min(64, rows * mosaic.cols)];
}

// A tile's colour: what its decoder says, and whether its picture or sound shows a fault.
function tileState(t) {
  if (t.session.is_directory) return ['dir', 'Directory'];
  if (!t.preview.length) return ['', 'Not decoded yet'];
  const parts = t.preview.flatMap((e) => [e.video, e.audio].filter((x) => x));
  const fault = parts.flatMap((p) => [p.black && 'Black', p.freeze && 'Frozen', p.silence && 'Silent'].filter((x) => x));
  if (parts.some((p) => p.state === 'failed')) return ['failed', parts.find((p) => p.message)?.message || 'Cannot decode'];
  if (fault.length) return ['alarm', fault.join(', ')];
  // A fresh picture or live levels say more than the decoder's turn: more
  // tiles than decoders take turns, keeping their last picture.
  const fresh = parts.some((p) => p.state === 'decoding' || (p.picture_age_s !== undefined && p.picture_age_s < 12));
  if (fresh) return ['receiving', 'Receiving'];
  if (parts.some((p) => p.state === 'opening')) return ['opening', 'Opening'];
  return ['', 'Waiting for its turn'];
}

function drawTile(i, t) {
  let tile = mosaic.tiles.get(t.session.id);
  if (!tile) {
    tile = el('div', 'tile');
    tile.setAttribute('role', 'gridcell');
    const pic = el('div', 'pic');
    const cap = el('div', 'cap');
    cap.append(el('b'), el('span'));
    tile.append(pic, cap);
    tile.addEventListener('click', () => selectTile(Number(tile.dataset.index)));
    tile.addEventListener('dblclick', () => openTile(Number(tile.dataset.index)));
    $('tiles').append(tile);
    mosaic.tiles.set(t.session.id, tile);
  }
  tile.dataset.index = String(i);
  tile.dataset.id = t.session.id;
  tile.style.left = ((i % mosaic.cols) * TILE_W) + 'px';
  tile.style.top = (Math.floor(i / mosaic.cols) * TILE_H) + 'px';
  const [cls, words] = tileState(t);
  tile.className = 'tile ' + cls + (t.session.active ? '' : ' inactive');
  tile.setAttribute('aria-selected', String(i === mosaic.selected));
  const [pic, cap] = tile.children;
  cap.children[0].textContent = t.session.name;
  const video = t.preview.map((e) => e.video).find((v) => v);
  const audio = t.preview.map((e) => e.audio).find((a) => a && a.peak_dbfs);
  const age = video && video.picture_age_s !== undefined ? video.picture_age_s : null;
  cap.children[1].textContent = age === null ? '' : age < 1 ? 'now' : Math.round(age) + ' s ago';
  tile.title = t.session.name + ': ' + words;
  let img = pic.querySelector('img');
  if (t.picture) {
    if (!img) { img = el('img'); img.alt = ''; pic.replaceChildren(img); }
    // A younger picture than the one shown: fetch it.
    const last = mosaic.ages.get(t.session.id);
    if (last === undefined || age === null || age < last) img.src = '/api/v1/sessions/' + encodeURIComponent(t.session.id) + '/picture.jpg?at=' + Date.now();
    mosaic.ages.set(t.session.id, age === null ? 0 : age);
  } else if (audio) {
    let meters = pic.querySelector('.meters');
    if (!meters) { meters = el('div', 'meters'); pic.replaceChildren(meters); }
    const peaks = audio.peak_dbfs.slice(0, 16);
    while (meters.children.length < peaks.length) { const m = el('div', 'meter'); m.append(el('i')); meters.append(m); }
    while (meters.children.length > peaks.length) meters.lastChild.remove();
    peaks.forEach((p, c) => { meters.children[c].firstChild.style.height = Math.max(0, Math.min(100, (p + 60) / 60 * 100)) + '%'; });
    meters.title = peaks.map((p) => p.toFixed(1)).join(' / ') + ' dBFS';
  } else {
    pic.replaceChildren();
  }
  // What a tile's colour says, in words, unless all is well.
  let what = pic.querySelector('.what');
  if (cls === 'receiving') { if (what) what.remove(); } else {
    if (!what) { what = el('span', 'what'); pic.append(what); }
    what.textContent = words;
  }
  let lufs = pic.querySelector('.lufs');
  if (audio && audio.short_term_lufs > -70) {
    if (!lufs) { lufs = el('span', 'lufs'); pic.append(lufs); }
    lufs.textContent = audio.short_term_lufs.toFixed(1) + ' LUFS';
  } else if (lufs) lufs.remove();
}

async function loadMosaic() {
  const [from, count] = mosaicGeometry();
  const q = new URLSearchParams({ filter: state.filter, sort: state.sort, offset: String(from), limit: String(count) });
  if (state.search) q.set('search', state.search);
  const j = await getJson('/api/v1/directories/' + encodeURIComponent(state.dir) + '/mosaic?' + q.toString());
  if (state.view !== 'mosaic') return;
  mosaic.total = j.total;
  $('tiles-space').style.height = (Math.ceil(j.total / mosaic.cols) * TILE_H) + 'px';
  $('mosaic-count').textContent = j.total + (j.total === 1 ? ' session' : ' sessions');
  const shown = new Set();
  j.tiles.forEach((t, k) => { drawTile(j.offset + k, t); shown.add(t.session.id); });
  for (const [id, tile] of mosaic.tiles) if (!shown.has(id)) { tile.remove(); mosaic.tiles.delete(id); mosaic.ages.delete(id); }
}

function followMosaic() {
  clearTimeout(mosaic.timer);
  if (state.view !== 'mosaic') return;
  loadMosaic().catch(() => {}).finally(() => { mosaic.timer = setTimeout(followMosaic, document.hidden ? 5000 : 500); });
}

function tileAt(i) { return [...mosaic.tiles.values()].find((t) => Number(t.dataset.index) === i); }

function selectTile(i) {
  if (i < 0 || i >= mosaic.total) return;
  mosaic.selected = i;
  for (const t of mosaic.tiles.values()) t.setAttribute('aria-selected', String(Number(t.dataset.index) === i));
  const box = $('tiles');
  const top = Math.floor(i / mosaic.cols) * TILE_H;
  if (top < box.scrollTop) box.scrollTop = top;
  else if (top + TILE_H > box.scrollTop + box.clientHeight) box.scrollTop = top + TILE_H - box.clientHeight;
  $('tiles').focus();
}

// Enter or a double click: the session's details, as a row's.
function openTile(i) {
  const tile = tileAt(i);
  if (!tile) return;
  if (tile.classList.contains('dir')) { showDirectory(tile.dataset.id); return; }
  state.selectedId = tile.dataset.id;
  writeAddress();
  showDetails(tile.dataset.id).catch(() => {});
}

function mosaicKeys(ev) {
  let i = mosaic.selected;
  switch (ev.key) {
    case 'ArrowRight': i += 1; break;
    case 'ArrowLeft': i -= 1; break;
    case 'ArrowDown': i += mosaic.cols; break;
    case 'ArrowUp': i -= mosaic.cols; break;
    case 'Home': i = 0; break;
    case 'End': i = mosaic.total - 1; break;
    case 'Enter': openTile(i); ev.preventDefault(); return;
    case 'Escape': setView('list'); ev.preventDefault(); return;
    default: return;
  }
  ev.preventDefault();
  selectTile(Math.max(0, Math.min(mosaic.total - 1, i)));
}

// ---- the alarms ----
const when = (ms) => new Date(ms).toLocaleString();

function sessionCell(a) {
  const td = el('td');
  const name = a.name || a.session;
  if (a.id) {
    const link = el('a', '', name);
    link.href = '#dir=' + encodeURIComponent(state.dir) + '&session=' + encodeURIComponent(a.id);
    link.addEventListener('click', (ev) => {
      ev.preventDefault();
      state.selectedId = a.id;
      writeAddress();
      showDetails(a.id).catch(() => {});
    });
    td.append(link);
  } else td.textContent = name;
  return td;
}

function detailOf(a) {
  const f = a.figures || {};
  if (f.detail) return f.detail;
  if (a.alarm === 'loss') return (f.loss_rate * 100).toFixed(2) + ' % lost';
  if (a.alarm === 'stream silent' && a.event === 'clear') return 'packets again';
  if (a.alarm === 'stream silent' && f.ms_since_last_packet >= 0) return 'no packet for ' + (f.ms_since_last_packet / 1000).toFixed(1) + ' s';
  return '';
}

async function loadAlarms() {
  const all = await getJson('/api/v1/alarms');
  const j = all.watching ? all : null;
  const raised = j ? j.active.filter((a) => !a.acknowledged).length : 0;
  $('alarm-count').hidden = raised === 0;
  $('alarm-count').textContent = String(raised);
  if (state.view !== 'alarms') return;
  $('ack-all').disabled = !j || raised === 0;
  const none = $('alarms-none');
  none.hidden = !!(j && j.active.length);
  none.textContent = j ? 'No alarm is active.' : 'Nothing is watched here (talmira-cli serve --watch watches the sessions of the watch list).';
  $('alarms-active').replaceChildren(...(j ? j.active : []).map((a) => {
    const tr = el('tr', a.acknowledged ? 'acked' : 'raised');
    tr.append(sessionCell(a), el('td', '', a.alarm), el('td', '', a.media < 0 ? 'session' : String(a.media)),
      el('td', '', when(a.time_ms)), el('td', '', detailOf(a) + (a.flaps ? ' (' + a.flaps + ' held)' : '')));
    const act = el('td');
    if (a.acknowledged) act.textContent = 'Acknowledged';
    else {
      const b = el('button', '', 'Acknowledge');
      b.type = 'button';
      b.addEventListener('click', () => acknowledge({ session: a.session, alarm: a.alarm, media: a.media }));
      act.append(b);
    }
    tr.append(act);
    return tr;
  }));
  $('alarms-log').replaceChildren(...(j ? j.log : []).map((e) => {
    const tr = el('tr');
    tr.append(el('td', '', when(e.time_ms)), el('td', '', e.event), el('td', '', e.alarm), sessionCell(e),
      el('td', '', e.media < 0 ? 'session' : String(e.media)), el('td', '', detailOf(e)));
    return tr;
  }));
}

function acknowledge(what) {
  post('/api/v1/alarms/acknowledge', what)
    .then(() => { $('alarm-note').textContent = 'Acknowledged'; return loadAlarms(); })
    .catch((e) => { $('alarm-note').textContent = e.message; });
}

// ---- which view the middle pane shows ----
function setView(view) {
  state.view = view;
  for (const v of ['list', 'mosaic', 'alarms']) $('view-' + v).setAttribute('aria-pressed', String(v === view));
  document.querySelector('.list-pane').hidden = view !== 'list';
  $('mosaic').hidden = view !== 'mosaic';
  $('alarms').hidden = view !== 'alarms';
  writeAddress();
  if (view === 'mosaic') { $('tiles').focus(); followMosaic(); }
  if (view === 'alarms') loadAlarms().catch(() => {});
  if (view === 'list') { render(); fetchRows(false).catch(() => {}); }
}

// ---- the live stream ----
function connect() {
  if (state.source) state.source.close();
  const url = '/api/v1/events' + (state.event ? '?after=' + encodeURIComponent(state.event) : '');
  const src = new EventSource(url);
  state.source = src;
  src.onopen = () => setStatus('Live', true);
  src.onerror = () => {
    setStatus('Reconnecting…', false);
    // The browser retries by itself unless the server refused outright.
    if (src.readyState === EventSource.CLOSED) setTimeout(() => { if (state.source === src) connect(); }, 2000);
  };
  const onSession = (kind) => (ev) => {
    state.event = ev.lastEventId;
    const s = JSON.parse(ev.data);
    if (s.directory === state.dir) scheduleRefresh();
    if (s.is_directory || kind !== 'changed') scheduleTree();
    if (s.id === state.selectedId) {
      if (kind === 'removed') markGone(); else showDetails(s.id).catch(() => {});
    }
  };
  src.addEventListener('added', onSession('added'));
  src.addEventListener('changed', onSession('changed'));
  src.addEventListener('removed', onSession('removed'));
  src.addEventListener('alarms', (ev) => { state.event = ev.lastEventId; loadAlarms().catch(() => {}); });
  src.addEventListener('reset', (ev) => {
    // Too far behind, or the server started anew: read everything again.
    state.event = ev.lastEventId;
    setStatus('Live', true);
    scheduleTree();
    reloadList(false);
    if (state.selectedId) showDetails(state.selectedId).catch(() => markGone());
    loadAlarms().catch(() => {});
  });
}

async function start() {
  const meta = await getJson('/api/v1/columns');
  state.columns = meta.columns;
  const words = { current: 'Current', today: 'Today', week: 'This Week', month: 'This Month', all: 'All' };
  const filter = $('filter');
  for (const f of meta.filters) {
    const o = el('option', '', words[f] || f);
    o.value = f;
    filter.append(o);
  }
  filter.value = state.filter;
  filter.addEventListener('change', () => { state.filter = filter.value; reloadList(true); });
  let searchTimer = 0;
  $('search').addEventListener('input', () => {
    clearTimeout(searchTimer);
    searchTimer = setTimeout(() => { state.search = $('search').value; reloadList(true); }, 150);
  });
  buildHead();
  const asked = readAddress();
  state.dir = asked.dir;
  state.event = await loadTree();
  writeAddress();
  if (asked.session) {
    state.selectedId = asked.session;
    writeAddress();
    showDetails(asked.session).catch(() => {});
  }
  window.addEventListener('hashchange', () => {
    const now = readAddress();
    if (now.dir && now.dir !== state.dir && state.directories.some((d) => d.id === now.dir)) showDirectory(now.dir);
    if (now.session && now.session !== state.selectedId) {
      state.selectedId = now.session;
      showDetails(now.session).catch(() => {});
    }
  });
  await fetchRows(true);
  $('list').addEventListener('scroll', () => { render(); fetchRows(false).catch(() => {}); }, { passive: true });
  $('list').addEventListener('keydown', listKeys);
  $('tree').addEventListener('keydown', treeKeys);
  $('copy-sdp').addEventListener('click', () => { copySdp(); });
  for (const v of ['list', 'mosaic', 'alarms']) $('view-' + v).addEventListener('click', () => setView(v));
  $('tiles').addEventListener('keydown', mosaicKeys);
  $('tiles').addEventListener('scroll', () => { clearTimeout(mosaic.scrollTimer); mosaic.scrollTimer = setTimeout(followMosaic, 100); }, { passive: true });
  $('ack-all').addEventListener('click', () => acknowledge({ all: true }));
  // A watched session's availability moves with time alone.
  setInterval(() => { if (state.selectedId && !$('d-watch').hidden && !document.hidden) showDetails(state.selectedId).catch(() => {}); }, 15000);
  loadAlarms().catch(() => {});
  if (asked.view === 'mosaic' || asked.view === 'alarms') setView(asked.view);
  window.addEventListener('resize', () => { render(); fetchRows(false).catch(() => {}); if (state.view === 'mosaic') followMosaic(); });
  connect();
}

start().catch((e) => setStatus('Cannot reach the directory: ' + e.message, false));
