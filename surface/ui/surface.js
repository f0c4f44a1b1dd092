'use strict';
// The control surface. It builds its controls from the instrument's OSCQuery
// tree (GET /), generically from each node's TYPE, RANGE, ACCESS and VALS; it
// knows only how to group them (layer strips, sections). Values follow the
// instrument through LISTEN over a WebSocket, which delivers binary OSC
// messages; changes go back as binary OSC messages on the same socket, so
// they take the same path as any OSC surface (and are recorded alike).
(() => {
  const HOLD_MS = 300;                        // echoes ignored this long after a control is let go
  const BACKOFF_MS = [250, 500, 1000, 2000];  // reconnection delays, the last one repeated
  const ALIVE_MS = 5000;                      // how often a connected page checks that the instrument answers
  const LAYER_ORDER = ['module', 'imageset', 'opacity', 'shown'];
  // A non-layer address goes to the first section with a pattern that matches
  // it, in the order of the patterns; anything unmatched goes to "Other".
  const SECTIONS = [
    ['scenes', [/\/scene\/recall$/, /\/scene\/store$/, /\/scene\//]],
    ['time', [/\/level$/, /\/sound\/low$/, /\/sound\/mid$/, /\/sound\/high$/, /\/sound\//, /\/bands?(\/|$)/, /\/tempo$/,
              /\/tempo\/tap$/, /\/beat\//, /\/tempo\//, /\/link\//]],
    ['machine', [/\/fps$/, /\/frame/, /slow/, /\/devices?(\/|$)/, /\/(midi|sound|joystick)(\/|$)/]],
    ['output', [/\/output\/corner$/, /\/output\/reset$/, /\/output\/corner\//]],
    ['show', [/\/select$/, /\/trail$/, /\/help(\/|$)/, /\/learn(\/|$)/, /\/key$/, /\/ctl$/, /\/list$/]],
  ];
  const $ = (id) => document.getElementById(id);
  const enc = new TextEncoder();
  const dec = new TextDecoder();

  // ---- OSC: big-endian, strings NUL-terminated and padded to 4 bytes ----
  const padded = (n) => (n + 4) & ~3;

  function oscMessage(address, types, args) {
    const parts = [];
    const str = (s) => { const b = enc.encode(s); const p = new Uint8Array(padded(b.length)); p.set(b); parts.push(p); };
    str(address);
    str(',' + types);
    [...types].forEach((t, i) => {
      if (t === 's') return str(String(args[i]));
      if (t !== 'i' && t !== 'f') return;  // T and F carry no bytes
      const v = new DataView(new ArrayBuffer(4));
      if (t === 'i') v.setInt32(0, Math.round(args[i])); else v.setFloat32(0, args[i]);
      parts.push(new Uint8Array(v.buffer));
    });
    const out = new Uint8Array(parts.reduce((n, p) => n + p.length, 0));
    parts.reduce((at, p) => (out.set(p, at), at + p.length), 0);
    return out.buffer;
  }

  function readString(view, at) {
    let end = at;
    while (end < view.byteLength && view.getUint8(end) !== 0) end++;
    if (end >= view.byteLength) throw new RangeError('OSC string without its end');
    return [dec.decode(new Uint8Array(view.buffer, view.byteOffset + at, end - at)), at + padded(end - at)];
  }

  // The messages of a packet as [address, args]; bundles are opened.
  function decodeOsc(view, out = []) {
    const [address, afterAddress] = readString(view, 0);
    if (address === '#bundle') {
      for (let at = 16; at + 4 <= view.byteLength;) {
        const size = view.getInt32(at);
        if (size < 0 || at + 4 + size > view.byteLength) throw new RangeError('OSC bundle element too long');
        decodeOsc(new DataView(view.buffer, view.byteOffset + at + 4, size), out);
        at += 4 + size;
      }
      return out;
    }
    let [types, at] = readString(view, afterAddress);
    if (types[0] !== ',') throw new RangeError('OSC message without type tags');
    const args = [];
    for (const t of types.slice(1)) {
      if (t === 'i') { args.push(view.getInt32(at)); at += 4; }
      else if (t === 'f') { args.push(view.getFloat32(at)); at += 4; }
      else if (t === 's') { let s; [s, at] = readString(view, at); args.push(s); }
      else if (t === 'd') { args.push(view.getFloat64(at)); at += 8; }
      else if (t === 'h') { args.push(Number(view.getBigInt64(at))); at += 8; }
      else if (t === 'T' || t === 'F') args.push(t === 'T');
      else if (t === 'N') args.push(null);
      else throw new RangeError('OSC type tag ' + t + ' not read here');
    }
    out.push([address, args]);
    return out;
  }

  // ---- state ----
  const controls = new Map();  // path -> control {path, node, show(args), held, until}
  let shape = '';              // what the tree's structure was when the controls were built
  let selectPath = null;
  let selected = 0;
  let socket = null;
  let retry = 0;
  let timer = 0;
  let alive = 0;

  function send(path, types, args) {
    if (!socket || socket.readyState !== WebSocket.OPEN) return false;
    socket.send(oscMessage(path, types, args));
    return true;
  }

  // A value from the instrument. A control being held (or let go less than
  // HOLD_MS ago) keeps the user's own: echoes of its older values would make
  // it jump back. The last value that came meanwhile is shown once the hold
  // is over, so a change from elsewhere is not lost.
  function receive(path, args) {
    if (path === selectPath && typeof args[0] === 'number') markSelected(args[0]);
    const c = controls.get(path);
    if (!c) return;
    c.pending = args;
    settle(c);
  }

  function settle(c) {
    clearTimeout(c.timer);
    if (c.held || !c.pending) return;
    const wait = c.until - performance.now();
    if (wait > 0) {
      c.timer = setTimeout(() => settle(c), wait + 1);
      return;
    }
    c.show(c.pending);
    c.pending = null;
  }

  function markSelected(n) {
    selected = n;
    for (const strip of document.querySelectorAll('.strip')) {
      const on = Number(strip.dataset.layer) === n;
      strip.classList.toggle('selected', on);
      strip.querySelector('.sel').setAttribute('aria-pressed', on);
    }
  }

  function setStatus(online) {
    $('status').textContent = online ? 'online' : 'offline - reconnecting';
    $('status').className = online ? 'online' : 'offline';
    document.body.classList.toggle('offline', !online);
  }

  // ---- controls ----
  function el(tag, attrs = {}, ...children) {
    const e = document.createElement(tag);
    for (const [k, v] of Object.entries(attrs)) if (v !== undefined) e.setAttribute(k, v);
    e.append(...children);
    return e;
  }

  const argsOf = (node) => {
    const ranges = Array.isArray(node.RANGE) ? node.RANGE : [];
    return [...String(node.TYPE || '').replace(/[[\]]/g, '')].map((t, i) => ({ t, r: ranges[i] || {} }));
  };
  const numeric = (t) => t === 'i' || t === 'f';
  const bounded = (r) => Number.isFinite(r.MIN) && Number.isFinite(r.MAX) && r.MAX > r.MIN;
  const fmt = (v, t) => {
    if (typeof v === 'boolean') return v ? 'on' : 'off';
    if (typeof v !== 'number') return v === null || v === undefined ? '-' : String(v);
    return t === 'i' ? String(Math.round(v)) : v.toFixed(Math.abs(v) >= 100 ? 1 : 2);
  };
  // What a toggle says in each state (off, on); by default its name and the state.
  const TOGGLE_WORDS = { shown: ['hidden', 'shown'] };
  const toggleText = (label, on) => (TOGGLE_WORDS[label] || [`${label}: off`, `${label}: on`])[on ? 1 : 0];
  // A picker's option value: the name itself, or its index for an integer argument named by VALS.
  const optionValue = (t, v, i) => (t === 'i' && typeof v === 'string' && Number.isNaN(Number(v)) ? i : v);

  function kindOf(node, args) {
    const access = node.ACCESS | 0;
    if (!(access & 2)) return args.length ? 'meter' : null;
    if (!args.length) return 'button';
    if (!(access & 1) || args.length > 1) return 'form';
    const { t, r } = args[0];
    if (t === 'T' || t === 'F') return 'toggle';
    if (Array.isArray(r.VALS)) return 'picker';
    if (t === 'i' && r.MIN === 0 && r.MAX === 1) return 'toggle';
    if (numeric(t) && bounded(r)) return 'fader';
    return 'form';
  }

  // Held from the pointer going down until it comes up anywhere (or the value
  // is chosen, or the control loses the focus: a picker's list may swallow
  // the pointer's release), and HOLD_MS after.
  function holdable(c, target) {
    const release = () => { c.held = false; c.until = performance.now() + HOLD_MS; settle(c); };
    target.addEventListener('pointerdown', () => {
      c.held = true;
      window.addEventListener('pointerup', release, { once: true });
      window.addEventListener('pointercancel', release, { once: true });
    });
    target.addEventListener('change', release);
    target.addEventListener('blur', release);
    target.addEventListener('input', () => { c.until = performance.now() + HOLD_MS; });
  }

  const build = {
    fader(c, [{ t, r }]) {
      const input = el('input', { type: 'range', min: r.MIN, max: r.MAX, step: t === 'i' ? 1 : 'any', 'aria-label': c.label });
      const out = el('output');
      const shown = (v) => { out.textContent = fmt(v, t); };
      input.addEventListener('input', () => { shown(Number(input.value)); send(c.path, t, [Number(input.value)]); });
      c.show = ([v]) => { if (typeof v === 'number') { input.value = v; shown(v); } };
      holdable(c, input);
      return [input, out];
    },
    picker(c, [{ t, r }]) {
      const select = el('select', { 'aria-label': c.label });
      r.VALS.forEach((v, i) => select.append(new Option(String(v), String(optionValue(t, v, i)))));
      select.addEventListener('change', () => send(c.path, t, [t === 's' ? select.value : Number(select.value)]));
      c.show = ([v]) => { if (v !== undefined) select.value = String(v); };
      holdable(c, select);
      return [select];
    },
    toggle(c, [{ t }]) {
      const button = el('button', { class: 'toggle', 'aria-pressed': 'false' }, toggleText(c.label, false));
      const set = (on) => { button.setAttribute('aria-pressed', on); button.textContent = toggleText(c.label, on); };
      button.addEventListener('click', () => {
        const on = button.getAttribute('aria-pressed') !== 'true';
        set(on);
        c.until = performance.now() + HOLD_MS;
        if (t === 'T' || t === 'F') send(c.path, on ? 'T' : 'F', []); else send(c.path, t, [on ? 1 : 0]);
      });
      c.show = ([v]) => set(v === true || v > 0.5);
      return [button];
    },
    button(c) {
      const button = el('button', { class: 'action' }, c.label);
      button.addEventListener('click', () => send(c.path, '', []));
      c.show = () => {};
      return [button];
    },
    form(c, args) {
      const inputs = args.map(({ t, r }, i) => {
        const name = `${c.label} ${i + 1}`;
        if (Array.isArray(r.VALS)) {
          const s = el('select', { 'aria-label': name });
          r.VALS.forEach((v, j) => s.append(new Option(String(v), String(optionValue(t, v, j)))));
          return s;
        }
        if (numeric(t)) {
          return el('input', { type: 'number', 'aria-label': name, min: r.MIN, max: r.MAX, step: t === 'i' ? 1 : 'any',
                               value: Number.isFinite(r.MIN) ? Math.max(r.MIN, Math.min(r.MAX ?? r.MIN, 0)) : 0 });
        }
        if (t === 'T' || t === 'F') return el('input', { type: 'checkbox', 'aria-label': name });
        return el('input', { type: 'text', 'aria-label': name, placeholder: c.label.split(' ').pop(), size: 8 });
      });
      const button = el('button', { class: 'action' }, c.label.split(' ').pop());
      button.addEventListener('click', () => {
        const types = args.map(({ t }, i) => ((t === 'T' || t === 'F') ? (inputs[i].checked ? 'T' : 'F') : t)).join('');
        const values = args.map(({ t }, i) => (t === 's' ? inputs[i].value : Number(inputs[i].value)));
        send(c.path, types, values);
      });
      c.show = (vals) => vals.forEach((v, i) => {
        if (inputs[i] && document.activeElement !== inputs[i]) inputs[i].value = v;
      });
      return [el('span', { class: 'fields' }, ...inputs), button];
    },
    meter(c, args) {
      const parts = args.map(({ t, r }) => {
        // A bar for a figure of 0..1 or -1..1 (level, bands, phase); a number or text for the rest.
        const out = el('output', { class: numeric(t) ? 'number' : 'text' });
        if (!(t === 'f' && bounded(r) && r.MIN >= -1 && r.MAX <= 1)) return { out, show: (v) => { out.textContent = fmt(v, t); } };
        const fill = el('span', { class: 'fill' });
        const bar = el('span', { class: 'bar' }, fill);
        return {
          out, bar,
          show: (v) => { fill.style.width = `${Math.max(0, Math.min(1, (v - r.MIN) / (r.MAX - r.MIN))) * 100}%`; out.textContent = fmt(v, t); },
        };
      });
      c.show = (vals) => vals.forEach((v, i) => parts[i] && v !== undefined && parts[i].show(v));
      return [el('span', { class: 'meters' }, ...parts.flatMap((p) => (p.bar ? [p.bar, p.out] : [p.out])))];
    },
  };

  function control(node, label) {
    const args = argsOf(node);
    const kind = kindOf(node, args);
    if (!kind) return null;
    const c = { path: node.FULL_PATH, node, label, held: false, until: 0, pending: null, timer: 0 };
    const row = el('div', { class: `ctl ${kind}`, 'data-path': c.path, title: node.DESCRIPTION || undefined });
    if (kind !== 'toggle' && kind !== 'button') row.append(el('span', { class: 'label' }, label));
    row.append(...build[kind](c, args));
    controls.set(c.path, c);
    if (Array.isArray(node.VALUE)) c.show(node.VALUE);
    return row;
  }

  // ---- the tree ----
  function methods(node, out = []) {
    if (node.FULL_PATH && node.FULL_PATH !== '/' && (node.TYPE !== undefined || (node.ACCESS | 0) !== 0)) out.push(node);
    for (const child of Object.values(node.CONTENTS || {})) methods(child, out);
    return out;
  }

  const rank = (list, text) => { const i = list.findIndex((p) => (typeof p === 'string' ? p === text : p.test(text))); return i < 0 ? list.length : i; };
  const byRank = (list, key) => (a, b) => rank(list, key(a)) - rank(list, key(b)) || key(a).localeCompare(key(b));

  function layout(tree) {
    controls.clear();
    const all = methods(tree);
    selectPath = (all.find((n) => /\/select$/.test(n.FULL_PATH) && /^i/.test(n.TYPE || '')) || {}).FULL_PATH || null;
    const layers = new Map();
    const rest = [];
    for (const n of all) {
      const m = n.FULL_PATH.match(/\/layer\/(\d+)\/(.+)$/);
      if (m) {
        if (!layers.has(+m[1])) layers.set(+m[1], []);
        layers.get(+m[1]).push([m[2], n]);
      } else rest.push(n);
    }
    const strips = [...layers.keys()].sort((a, b) => a - b).map((layer) => {
      const sel = el('button', { class: 'sel', 'aria-pressed': 'false', 'aria-label': `select layer ${layer}` }, String(layer));
      sel.addEventListener('click', () => selectPath && send(selectPath, 'i', [layer]));
      const strip = el('div', { class: 'strip', 'data-layer': layer }, el('div', { class: 'head' }, sel, el('span', { class: 'mark' }, 'selected')));
      layers.get(layer).sort(byRank(LAYER_ORDER, ([leaf]) => leaf)).forEach(([leaf, n]) => {
        const row = control(n, leaf.replace(/\//g, ' '));
        if (row) strip.append(row);
      });
      return strip;
    });
    $('layers').replaceChildren(...strips);
    const bodies = Object.fromEntries(['scenes', 'time', 'machine', 'show', 'output', 'other'].map((id) => [id, []]));
    for (const n of rest) {
      const hit = SECTIONS.find(([, patterns]) => rank(patterns, n.FULL_PATH) < patterns.length);
      bodies[hit ? hit[0] : 'other'].push(n);
    }
    for (const [id, nodes] of Object.entries(bodies)) {
      const patterns = (SECTIONS.find(([s]) => s === id) || [id, []])[1];
      const rows = nodes.sort(byRank(patterns, (n) => n.FULL_PATH))
        // The section's own name is left out of its labels ("output corner 1 x" reads "corner 1 x" under Output).
        .map((n) => control(n, n.FULL_PATH.replace(/^\/strata\//, '').replace(/^\//, '').replace(/\//g, ' ')
          .replace(new RegExp(`^${id} (?=.)`), '')))
        .filter(Boolean);
      $(id).querySelector('.body').replaceChildren(...rows);
      $(id).hidden = rows.length === 0;
    }
    markSelected(selected);
  }

  // The structure only: a tree whose values or descriptions changed needs no new controls.
  const shapeOf = (tree) => JSON.stringify(methods(tree).map((n) => [n.FULL_PATH, n.TYPE, n.RANGE, n.ACCESS]));

  function useTree(tree) {
    const s = shapeOf(tree);
    if (s !== shape) {
      shape = s;
      layout(tree);
    } else {
      for (const n of methods(tree)) if (Array.isArray(n.VALUE)) receive(n.FULL_PATH, n.VALUE);
    }
  }

  // ---- the connection: tree, then socket; on loss back off and start again ----
  function later() {
    setStatus(false);
    clearInterval(alive);
    clearTimeout(timer);
    timer = setTimeout(connect, BACKOFF_MS[Math.min(retry++, BACKOFF_MS.length - 1)]);
  }

  async function connect() {
    try {
      const reply = await fetch('/', { cache: 'no-store', headers: { Accept: 'application/json' },
                                       signal: AbortSignal.timeout(2 * ALIVE_MS) });
      if (!reply.ok) throw new Error(`HTTP ${reply.status}`);
      useTree(await reply.json());
    } catch (e) {
      later();
      return;
    }
    const ws = new WebSocket(`${location.protocol === 'https:' ? 'wss' : 'ws'}://${location.host}/`);
    ws.binaryType = 'arraybuffer';
    ws.onopen = () => {
      socket = ws;
      retry = 0;
      setStatus(true);
      // A network that drops without a word closes no socket: when the
      // instrument stops answering HTTP the socket is given up.
      clearInterval(alive);
      alive = setInterval(() => {
        fetch('/?HOST_INFO', { cache: 'no-store', signal: AbortSignal.timeout(ALIVE_MS / 2) }).catch(() => {
          if (socket !== ws) return;
          ws.onclose = ws.onmessage = null;
          ws.close();
          socket = null;
          later();
        });
      }, ALIVE_MS);
      for (const c of controls.values()) {
        if ((c.node.ACCESS | 0) & 1 && c.node.TYPE) ws.send(JSON.stringify({ COMMAND: 'LISTEN', DATA: c.path }));
      }
    };
    ws.onmessage = (e) => {
      if (typeof e.data === 'string') return;
      try {
        for (const [address, args] of decodeOsc(new DataView(e.data))) receive(address, args);
      } catch (err) {
        console.warn('surface: an unreadable OSC message:', err.message);
      }
    };
    ws.onclose = () => {
      if (socket === ws) socket = null;
      later();
    };
  }

  window.strataSurface = { oscMessage, decodeOsc, controls };  // for tests and the console
  setStatus(false);
  connect();
})();
