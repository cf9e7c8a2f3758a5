// The cockpit in the browser. Everything it shows comes from /api/cockpit, which the app server
// computes with the desktop's rules; this file only draws it.
'use strict';

const SVG = 'http://www.w3.org/2000/svg';
const COLUNAS = [
  { cab: 'lblFaturamento', total: 'indicFatTotal', regiao: 'indicFatR', painelTotal: 'pnlIndicFatTotal', painel: 'pnlIndicFatR' },
  { cab: 'lblPConsumo', total: 'indicConsTotal', regiao: 'indicConsR', painelTotal: 'pnlIndicConsTotal', painel: 'pnlIndicConsR' },
  { cab: 'lblPMdo', total: 'indicMDOtotal', regiao: 'indicMdoR', painelTotal: 'pnlIndicMdoTotal', painel: 'pnlIndicMdoR' },
  { cab: 'lblPDespesas', total: 'indicDespeTotal', regiao: 'indicDespeR', painelTotal: 'pnlIndicDespeTotal', painel: 'pnlIndicDespeR' },
  { cab: 'lblPResultado', total: 'indicResultTotal', regiao: 'indicResultR', painelTotal: 'pnlIndicResultTotal', painel: 'pnlIndicResultR' },
];
const LISTAS = [['dbgTop10', 'lblTop10'], ['dbgBottom10', 'lblBottom10'], ['dbgAtrasaLanca', 'lblAtrasaLanca']];
const GRAFICOS = ['grafFatReg', 'grafCustReg', 'grafResultReg'];

const $ = (id) => document.getElementById(id);
let pedido = 0;

// ?tv=1: a wall screen. The whole screen for the figures, no month picker, a refresh every minute (sooner
// again after a failure), the month of the address or else the calendar's, followed as it turns.
const TV = new URLSearchParams(location.search).get('tv') === '1';
const CICLO_TV_MS = 60000, NOVA_TENTATIVA_MS = 5000;
let buscadoEm = null;   // when the figures on the page were fetched

// 0x00BBGGRR, as the window definitions hold colours, to CSS.
function cor(n) {
  const v = Number(n) >>> 0;
  const hex = (x) => x.toString(16).padStart(2, '0');
  return '#' + hex(v & 0xff) + hex((v >> 8) & 0xff) + hex((v >> 16) & 0xff);
}

// The page's policy allows no inline style attributes; colours go through the style object instead.
function el(tag, attrs, ...filhos) {
  const e = tag.startsWith('svg:') ? document.createElementNS(SVG, tag.slice(4)) : document.createElement(tag);
  for (const [k, v] of Object.entries(attrs || {})) {
    if (k === 'fundo') e.style.backgroundColor = v;
    else e.setAttribute(k, v);
  }
  for (const f of filhos) e.append(f);
  return e;
}

// Names are looked up ignoring letter case, as the desktop finds its components.
function porNome(obj) {
  const m = new Map();
  for (const [k, v] of Object.entries(obj || {})) m.set(k.toLowerCase(), [k, v]);
  return (nome) => m.get(nome.toLowerCase()) || [nome, undefined];
}

// --- Dial: a semicircle from min (left) over the top to max (right), centre (100, 88), radius 84.
const CX = 100, CY = 88, R = 84;
function fracao(g, v) {
  const d = g.max - g.min;
  if (!isFinite(g.min) || !isFinite(g.max) || d === 0 || !isFinite(d)) return 0;
  return Math.min(1, Math.max(0, (v - g.min) / d));
}
function ponto(f, r) {
  const a = Math.PI * (1 - f);
  return [CX + r * Math.cos(a), CY - r * Math.sin(a)];
}
function setor(f1, f2, r1, r2) {
  if (f2 < f1) [f1, f2] = [f2, f1];
  const [x1, y1] = ponto(f1, r2), [x2, y2] = ponto(f2, r2), [x3, y3] = ponto(f2, r1), [x4, y4] = ponto(f1, r1);
  return `M${x1} ${y1}A${r2} ${r2} 0 0 1 ${x2} ${y2}L${x3} ${y3}A${r1} ${r1} 0 0 0 ${x4} ${y4}Z`;
}

function medidor(nome, g, texto, classe, notas) {
  const caixa = el('div', { class: 'medidor ' + classe, 'data-gauge': nome });
  const svg = el('svg:svg', { viewBox: '0 0 200 100', role: 'img', 'aria-label': texto || '' });
  svg.append(el('svg:path', { d: setor(0, 1, R * 0.7, R), fill: '#2a2a2a' }));
  if (g) {
    for (const z of g.zones || []) {
      if (z.start === z.stop) continue;
      svg.append(el('svg:path', { class: 'zona', d: setor(fracao(g, z.start), fracao(g, z.stop), R * 0.7, R), fill: cor(z.color) }));
    }
    if (g.ghost !== null && g.ghost !== undefined) {
      // The month before, a thin grey needle under this month's.
      const [gx, gy] = ponto(fracao(g, g.ghost), R * 0.65);
      svg.append(el('svg:line', { class: 'fantasma', x1: CX, y1: CY, x2: gx, y2: gy, stroke: '#b0b0b0', 'stroke-width': 3,
                                  'stroke-linecap': 'round', 'data-value': g.ghost }));
    }
    const f = fracao(g, g.value);
    const [tx, ty] = ponto(f, R * 0.65);
    const a = Math.PI * (1 - f), w = 6;
    const bx = Math.sin(a) * w, by = Math.cos(a) * w;
    svg.append(el('svg:path', { class: 'agulha', d: `M${CX - bx} ${CY - by}L${tx} ${ty}L${CX + bx} ${CY + by}Z`,
                                fill: cor(g.needleColor), 'data-color': g.needleColor }));
    svg.append(el('svg:circle', { class: 'cubo', cx: CX, cy: CY, r: R * 0.1, fill: cor(g.hubColor), 'data-color': g.hubColor }));
  }
  caixa.append(svg, el('div', { class: 'valor' }, texto || ''));
  for (const n of notas || []) caixa.append(el('div', { class: 'nota' }, n));
  return caixa;
}

function desenharIndicadores(j) {
  const gauge = porNome(j.gauges), painel = porNome(j.panels), rotulo = porNome(j.labels), nota = porNome(j.notes);
  const t = el('div', { class: 'tabela' });
  t.append(el('div'));
  for (const c of COLUNAS) t.append(el('div', { class: 'cab' }, rotulo(c.cab)[1] || ''));
  t.append(el('div', { class: 'rotulo' }, rotulo('lblTotal')[1] || 'Total'));
  for (const c of COLUNAS) {
    const [nome, g] = gauge(c.total);
    t.append(medidor(nome, g, painel(c.painelTotal)[1], 'total', nota(c.painelTotal)[1]));
  }
  for (let n = 1; n <= 5; n++) {
    const nomeRegiao = rotulo('lblR' + n)[1];
    if (!nomeRegiao) continue;   // the desktop leaves such a row empty
    t.append(el('div', { class: 'rotulo' }, nomeRegiao));
    for (const c of COLUNAS) {
      const [nome, g] = gauge(c.regiao + n);
      t.append(medidor(nome, g, painel(c.painel + n)[1], 'regiao', nota(c.painel + n)[1]));
    }
  }
  $('indicadores').replaceChildren(t);
}

function desenharListas(j) {
  const rotulo = porNome(j.labels);
  const partes = LISTAS.map(([nome, titulo]) => {
    const g = (j.grids || {})[nome] || { titles: [], rows: [], rowColors: [] };
    const num = (s) => /^-?[\d.,]+%?$/.test(s);
    const cab = el('tr', {}, ...g.titles.map((t, i) => el('th', i === g.titles.length - 1 ? { class: 'num' } : {}, t)));
    const linhas = g.rows.map((r, i) => el('tr', { fundo: cor(g.rowColors[i] ?? 0), 'data-color': g.rowColors[i] ?? '' },
                                          ...r.map((c) => el('td', num(c) ? { class: 'num' } : {}, c))));
    return el('div', { class: 'lista' }, el('h2', {}, rotulo(titulo)[1] || ''),
              el('table', { id: nome }, el('thead', {}, cab), el('tbody', {}, ...linhas)));
  });
  $('listas').replaceChildren(...partes);
}

// --- Tilted 3-D pie: the top ellipse flattened, the rim of the front half below it.
function pizza(c) {
  const W = 360, H = 200, cx = 180, cy = 80, rx = 150, ry = 62, prof = 22;
  const svg = el('svg:svg', { viewBox: `0 0 ${W} ${H - 28}`, role: 'img', 'aria-label': c.title || '' });
  const fatias = (c.slices || []).filter((s) => s.fraction > 0);
  const p = (a, dy = 0) => [cx + rx * Math.cos(a), cy + ry * Math.sin(a) + dy];
  const escura = (n) => { const v = Number(n) >>> 0; return cor(((v & 0xff) * 0.6) | ((((v >> 8) & 0xff) * 0.6) << 8) | ((((v >> 16) & 0xff) * 0.6) << 16)); };
  let a = -Math.PI / 2;
  const arcos = fatias.map((s) => { const a1 = a; a += 2 * Math.PI * s.fraction; return [s, a1, a]; });
  for (const [s, a1, a2] of arcos) {
    // The rim shows only where the slice faces the viewer (0 .. π in screen angles).
    for (const k of [0, 2]) {
      const lo = Math.max(a1, k * Math.PI), hi = Math.min(a2, k * Math.PI + Math.PI);
      if (hi <= lo) continue;
      const [x1, y1] = p(lo), [x2, y2] = p(hi), [x3, y3] = p(hi, prof), [x4, y4] = p(lo, prof);
      svg.append(el('svg:path', { d: `M${x1} ${y1}A${rx} ${ry} 0 0 1 ${x2} ${y2}L${x3} ${y3}A${rx} ${ry} 0 0 0 ${x4} ${y4}Z`,
                                  fill: escura(s.color), stroke: '#000', 'stroke-width': 0.5 }));
    }
  }
  for (const [s, a1, a2] of arcos) {
    if (s.fraction >= 1) {
      svg.append(el('svg:ellipse', { cx, cy, rx, ry, fill: cor(s.color), stroke: '#000', 'stroke-width': 0.5 }));
      continue;
    }
    const [x1, y1] = p(a1), [x2, y2] = p(a2);
    svg.append(el('svg:path', { class: 'fatia', d: `M${cx} ${cy}L${x1} ${y1}A${rx} ${ry} 0 ${a2 - a1 > Math.PI ? 1 : 0} 1 ${x2} ${y2}Z`,
                                fill: cor(s.color), stroke: '#000', 'stroke-width': 0.5 }));
  }
  const legenda = el('div', { class: 'legenda' },
                     ...(c.slices || []).map((s) => el('span', {}, el('i', { fundo: cor(s.color) }), s.label)));
  return el('div', { class: 'grafico' }, el('h2', {}, c.title || ''), svg, legenda);
}

function desenharGraficos(j) {
  $('graficos').replaceChildren(...GRAFICOS.map((n) => pizza((j.charts || {})[n] || {})));
}

// "HH:MM", with the day when it is not the one of `referencia`.
function hora(d, referencia) {
  const dd = (n) => String(n).padStart(2, '0');
  const dia = referencia && d.toDateString() !== referencia.toDateString() ? `${dd(d.getDate())}/${dd(d.getMonth() + 1)} ` : '';
  return dia + dd(d.getHours()) + ':' + dd(d.getMinutes());
}

// When the figures on the page were fetched; after a failed refresh, in red, with the failure's time, as the
// desktop's header says it: old figures never pass for current ones.
function carimbo(falhouEm) {
  const e = $('atualizado');
  e.classList.toggle('falhou', Boolean(falhouEm && buscadoEm));
  if (!buscadoEm) e.textContent = '';
  else if (falhouEm) e.textContent = `Atualização falhou às ${hora(falhouEm)} — dados de ${hora(buscadoEm, falhouEm)}`;
  else e.textContent = 'Atualizado às ' + hora(buscadoEm);
}

function aviso(texto) {
  $('aviso').textContent = texto || '';
  $('aviso').hidden = !texto;
}

function desenhar(j) {
  const rotulo = porNome(j.labels);
  for (const id of ['lblTitulo', 'lblQtFiliais', 'lblDtAtu']) $(id).textContent = rotulo(id)[1] || '';
  document.title = rotulo('lblTitulo')[1] || document.title;
  desenharIndicadores(j);
  desenharListas(j);
  desenharGraficos(j);
  $('painel').hidden = false;
  $('entrada').hidden = true;
  // The month's own notice (no figures) first, then what the refresh had to report.
  aviso([rotulo('lblAviso')[1], ...(j.messages || [])].filter(Boolean).join(' '));
  document.body.dataset.mes = (j.refDate || '').slice(0, 7);
  document.body.dataset.desenhadoMs = performance.now().toFixed(1);
}

function mesEscolhido() {
  return String($('ano').value).padStart(4, '0') + '-' + $('mes').value;
}

function escolherMes(a, m) {
  $('ano').value = a;
  $('mes').value = String(m).padStart(2, '0');
}

async function carregar() {
  const mes = mesEscolhido();
  if (!/^\d{4}-\d{2}$/.test(mes)) { aviso('Escolha um mês.'); return; }
  const meu = ++pedido;
  // A wall screen keeps its own address: one that follows the calendar must not stick to this month.
  if (!TV) history.replaceState(null, '', '?mes=' + mes);
  let r, j;
  try {
    r = await fetch('api/cockpit?month=' + encodeURIComponent(mes),
                    { headers: { 'X-Kpd-Pagina': '1' }, credentials: 'same-origin', cache: 'no-store' });
    j = await r.json();
  } catch (e) {
    if (meu === pedido) {
      aviso('Não foi possível falar com o servidor de aplicação. Verifique a conexão e tente de novo.');
      carimbo(new Date());
    }
    return false;
  }
  if (meu !== pedido) return false;   // another month was asked for meanwhile
  if (r.status === 401) {
    $('painel').hidden = true;
    $('entrada').hidden = false;
    aviso(j.erro);
    return false;
  }
  if (!r.ok) { aviso(j.erro || ('Erro ' + r.status)); carimbo(new Date()); return false; }
  desenhar(j);
  buscadoEm = new Date();
  carimbo(null);
  return true;
}

async function cicloTv(doEndereco) {
  if (!doEndereco) { const hoje = new Date(); escolherMes(hoje.getFullYear(), hoje.getMonth() + 1); }
  const ok = await carregar();
  setTimeout(() => cicloTv(doEndereco), ok ? CICLO_TV_MS : NOVA_TENTATIVA_MS);
}

function mudarMes(delta) {
  const a = Number($('ano').value), m = Number($('mes').value) - 1 + delta;
  escolherMes(a + Math.floor(m / 12), ((m % 12) + 12) % 12 + 1);
  carregar();
}

async function entrar(ev) {
  ev.preventDefault();
  const f = new FormData($('entrada'));
  const r = await fetch('api/entrar', { method: 'POST', headers: { 'Content-Type': 'application/json' },
                                        body: JSON.stringify({ usuario: f.get('usuario'), senha: f.get('senha') }) });
  if (!r.ok) { const j = await r.json().catch(() => ({})); aviso(j.erro || ('Erro ' + r.status)); return; }
  $('entrada').reset();
  aviso('');
  carregar();
}

document.addEventListener('DOMContentLoaded', () => {
  const doEndereco = /^(\d{4})-(\d{2})$/.exec(new URLSearchParams(location.search).get('mes') || '');
  const hoje = new Date();
  if (doEndereco) escolherMes(Number(doEndereco[1]), Number(doEndereco[2]));
  else escolherMes(hoje.getFullYear(), hoje.getMonth() + 1);
  $('mes').addEventListener('change', carregar);
  $('ano').addEventListener('change', carregar);
  $('anterior').addEventListener('click', () => mudarMes(-1));
  $('proximo').addEventListener('click', () => mudarMes(1));
  $('entrada').addEventListener('submit', entrar);
  // The browser's counterpart of the window's activation: coming back to the tab shows fresh figures.
  document.addEventListener('visibilitychange', () => { if (document.visibilityState === 'visible') carregar(); });
  if (TV) {
    document.body.classList.add('tv');
    cicloTv(doEndereco);
  } else {
    carregar();
  }
});
