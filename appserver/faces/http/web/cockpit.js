// The cockpit in the browser. Everything it shows comes from /api/cockpit, the month's page in the
// scorecard's words (scopes, indicators, lists, pies), which the app server computes with the desktop's
// rules; this file only draws it.
'use strict';

const SVG = 'http://www.w3.org/2000/svg';
const $ = (id) => document.getElementById(id);
let pedido = 0;
// On /regiao/NO the page shows that region: its gauges and its branches.
// Its code may hold any character ("P&D"): read decoded, and encoded again wherever it goes into an address.
const REGIAO = (() => {
  const m = /^\/regiao\/([^/]+)$/.exec(location.pathname);
  if (!m) return undefined;
  try { return decodeURIComponent(m[1]); } catch { return m[1]; }
})();

// ?tv=1: a wall screen. The whole screen for the figures, no month picker, a refresh every minute (sooner
// again after a failure), the month of the address or else the calendar's, followed as it turns.
const TV = new URLSearchParams(location.search).get('tv') === '1';
const CICLO_TV_MS = 60000, NOVA_TENTATIVA_MS = 5000;
let buscadoEm = null;   // when the figures on the page were fetched
let desenhado = null;   // the month's JSON the page drew last

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

// Twelve months of a figure as a line, oldest on the left; a month without figures is a gap in it, and a
// last month that is still a projection is drawn dashed. data-valores keeps the numbers it was drawn from.
function tendencia(valores, projetado) {
  const W = 120, H = 24, P = 2, n = valores.length;
  const num = (v) => typeof v === 'number';
  const titulo = 'Últimos 12 meses' + (projetado ? ' (o último, previsão do mês)' : '');
  const svg = el('svg:svg', { class: 'tendencia', viewBox: `0 0 ${W} ${H}`, preserveAspectRatio: 'none', role: 'img',
                              'aria-label': titulo, 'data-valores': valores.map((v) => (num(v) ? v : '')).join(';') });
  svg.append(el('svg:title', {}, titulo));
  const dados = valores.filter(num);
  if (!dados.length || n < 2) return svg;
  const lo = Math.min(...dados), d = Math.max(...dados) - lo || 1;
  const x = (i) => P + (W - 2 * P) * i / (n - 1), y = (v) => H - P - (H - 2 * P) * (v - lo) / d;
  let trecho = [];
  const fechar = () => {
    if (trecho.length > 1) svg.append(el('svg:polyline', { points: trecho.join(' '), fill: 'none', stroke: '#d8d8d8', 'stroke-width': 1.5 }));
    else if (trecho.length === 1) { const [a, b] = trecho[0].split(','); svg.append(el('svg:circle', { cx: a, cy: b, r: 1.5, fill: '#d8d8d8' })); }
    trecho = [];
  };
  valores.forEach((v, i) => {
    if (!num(v)) { fechar(); return; }
    if (i === n - 1 && projetado) {
      fechar();
      if (num(valores[i - 1]))
        svg.append(el('svg:line', { x1: x(i - 1), y1: y(valores[i - 1]), x2: x(i), y2: y(v), stroke: '#d8d8d8',
                                    'stroke-width': 1.5, 'stroke-dasharray': '3 2' }));
    } else trecho.push(`${x(i)},${y(v)}`);
  });
  fechar();
  if (num(valores[n - 1])) svg.append(el('svg:circle', { cx: x(n - 1), cy: y(valores[n - 1]), r: 2.2, fill: '#ffffff' }));
  return svg;
}

// Where the month will end and the year so far, beside the figures they belong to.
function perspectivas(escopo, chave) {
  const linhas = [];
  const p = escopo.projection;
  if (chave === 'faturamento' && p) linhas.push(el('div', { class: 'linha previsao', title: 'Previsão: ' + p.method }, p.text));
  const ano = escopo.yearToDate && escopo.yearToDate[chave];
  if (ano && ano.text) linhas.push(el('div', { class: 'linha ano', title: 'De janeiro até o mês' }, ano.text));
  return linhas;
}

function medidor(nome, g, texto, classe, notas, medida, extras) {
  const dito = (medida && medida.verdict) || '';
  const caixa = el('div', dito ? { class: 'medidor ' + classe, 'data-gauge': nome, title: dito }
                               : { class: 'medidor ' + classe, 'data-gauge': nome });
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
  const sinal = medida && medida.zone ? el('span', { class: 'sinal', 'aria-label': medida.zone }, ' ' + SINAIS[medida.zone]) : '';
  caixa.append(svg, el('div', { class: 'valor' }, texto || '', sinal));
  // The budget as a number and the gap to it; a line on every gauge, empty without a target, so the
  // gauges of a row keep one size.
  caixa.append(el('div', { class: 'meta' }, (medida && medida.targetText) || ''));
  // The projection and the year so far, then the notes, in a block of their own, so a wall screen can give
  // every gauge of a row the same room; the whole text stays in the title where the screen shortens a line.
  caixa.append(el('div', { class: 'rodape' }, el('div', { class: 'perspectiva' }, ...((extras && extras.linhas) || [])),
                  el('div', { class: 'notas' }, ...(notas || []).map((n) => el('div', { class: 'nota', title: n }, n)))));
  if (extras && extras.tendencia) caixa.append(extras.tendencia);
  return caixa;
}

function desenharIndicadores(j) {
  const t = el('div', { class: 'tabela' });
  t.append(el('div'));
  const indicadores = j.indicators || [];
  for (const i of indicadores) t.append(el('div', { class: 'cab' }, i.title));
  for (const escopo of j.scopes || []) {
    const empresa = escopo.kind === 'empresa';
    // A region's page shows that region alone.
    if (REGIAO && (empresa || escopo.code !== REGIAO)) continue;
    t.append(el('div', { class: 'rotulo' },
                empresa ? 'Total' : REGIAO ? escopo.code
                  : el('a', { href: 'regiao/' + encodeURIComponent(escopo.code) + '?mes=' + j.month,
                              title: 'Filiais da regional' }, escopo.code)));
    for (const i of indicadores) {
      const m = escopo[i.key] || {};
      // The company's figures carry their last twelve months; every row its projection and year so far.
      const extras = { linhas: perspectivas(escopo, i.key),
                       tendencia: empresa && m.trend ? tendencia(m.trend, m.trendProjected) : null };
      t.append(medidor(escopo.code + ':' + i.key, m.dial, m.text, empresa ? 'total' : 'regiao', m.notes, m, extras));
    }
  }
  $('indicadores').replaceChildren(t);
}

function desenharListas(j) {
  const partes = Object.entries(j.lists || {}).map(([chave, g]) => {
    const num = (s) => /^-?[\d.,]+%?$/.test(s);
    const cab = el('tr', {}, ...g.titles.map((t, i) => el('th', i === g.titles.length - 1 ? { class: 'num' } : {}, t)));
    // A branch that has been in the list for months is no news: its months there beside its name.
    const marca = (i) => {
      const rec = (g.recurrence || [])[i];
      return rec ? el('span', { class: 'recorrente', title: 'Na lista em ' + rec }, ' ' + rec.split(' ')[0] + '/12') : '';
    };
    const linhas = g.rows.map((r, i) => el('tr', { fundo: cor(g.rowColors[i] ?? 0), 'data-color': g.rowColors[i] ?? '' },
                                          ...r.map((c, k) => el('td', num(c) ? { class: 'num' } : {}, c, k === 0 ? marca(i) : ''))));
    // The spreadsheet is named after its list and its month (top10-2026-11.csv).
    const csv = el('a', { class: 'csv', href: 'api/cockpit?month=' + j.month + '&lista=' + chave,
                          download: chave + '-' + j.month + '.csv' }, 'CSV');
    return el('div', { class: 'lista' }, el('h2', {}, g.title, ' ', csv),
              el('table', { id: chave }, el('thead', {}, cab), el('tbody', {}, ...linhas)));
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
  // The desktop's pies (the charts' Rotation of 360 in the window's definition) start at the right-hand
  // side and turn counter-clockwise; the same month must look the same on both. Screen angles grow
  // clockwise (y points down), so each slice spans [a - sweep, a] and the first ends at 0.
  let a = 0;
  const arcos = fatias.map((s) => { const a2 = a; a -= 2 * Math.PI * s.fraction; return [s, a, a2]; });
  for (const [s, a1, a2] of arcos) {
    // The rim shows only where the slice faces the viewer (0 .. π in screen angles, -2π .. -π one turn back).
    for (const k of [-2, 0]) {
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
  $('graficos').replaceChildren(...Object.values(j.pies || {}).map(pizza));
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

// tentar: an action the notice offers ("Tentar de novo"), where the page has nothing else to show.
function aviso(texto, tentar) {
  $('aviso').textContent = texto || '';
  if (texto && tentar) {
    const b = el('button', { type: 'button', class: 'tentar' }, 'Tentar de novo');
    b.addEventListener('click', tentar);
    $('aviso').append(' ', b);
  }
  $('aviso').hidden = !texto;
}

// A verdict in a sign beside its colour (and in words in its title), for whoever does not tell red from green.
const SINAIS = { verde: '✓', amarelo: '!', vermelho: '✗' };

// A region's branches, sortable by a click on a column's title.
function desenharFiliais(r) {
  let coluna = -1, descendo = false;
  const tabela = el('table', { id: 'filiais' });
  const corpo = el('tbody');
  const preencher = () => {
    const linhas = r.rows.slice();
    if (coluna >= 0) {
      const valor = (c) => (c.number === null ? -Infinity : c.number);
      linhas.sort((a, b) => {
        const x = valor(a[coluna]), y = valor(b[coluna]);
        return (x < y ? -1 : x > y ? 1 : 0) * (descendo ? -1 : 1);
      });
    }
    // The stripes go by place, whatever the order: the i-th row takes the server's i-th stripe.
    corpo.replaceChildren(...linhas.map((row, i) => el('tr', { fundo: cor(r.rowColors[i] ?? 0) },
      // Each cell names its column, for a phone that shows a branch as a card of labelled figures.
      ...row.map((c, k) => { const td = el('td', { class: typeof c.number === 'number' ? 'num' : '', 'data-rotulo': r.columns[k] }, c.text);
                          td.style.color = cor(c.textColor ?? c.color);
                          if (c.verdict) td.title = c.verdict;
                          return td; }))));
  };
  const cab = el('tr', {}, ...r.columns.map((t, i) => {
    const th = el('th', { tabindex: 0, title: 'Ordenar' }, t);
    const ordenar = () => { descendo = coluna === i ? !descendo : false; coluna = i; preencher(); };
    th.addEventListener('click', ordenar);
    th.addEventListener('keydown', (e) => { if (e.key === 'Enter') ordenar(); });
    return th;
  }));
  tabela.append(el('thead', {}, cab), corpo);
  preencher();
  const mes = r.month.slice(0, 7);
  const csv = el('a', { class: 'csv', href: 'api/region.csv?month=' + mes + '&region=' + encodeURIComponent(r.region),
                        download: 'regional-' + r.region + '-' + mes + '.csv' }, 'CSV');
  const voltar = el('a', { href: '../?mes=' + mes }, '◀ Voltar ao cockpit');
  $('listas').replaceChildren(el('div', { class: 'lista regiao' }, el('h2', {}, r.title, ' ', csv), tabela, el('p', {}, voltar)));
}

async function carregarFiliais(mes) {
  const r = await fetch('api/region?month=' + mes + '&region=' + encodeURIComponent(REGIAO), { credentials: 'same-origin', cache: 'no-cache' });
  const j = await r.json();
  if (!r.ok) { aviso(j.erro || ('Erro ' + r.status)); return; }
  desenharFiliais(j);
}

function desenhar(j) {
  $('lblTitulo').textContent = j.title || '';
  $('lblQtFiliais').textContent = j.branches || '';
  $('lblDtAtu').textContent = j.lastLoad || '';
  document.title = j.title || document.title;
  desenharIndicadores(j);
  // The page says it has drawn the month (data-mes) once all of it is there: a region's branches come in a
  // call of their own.
  const desenhou = () => {
    document.body.dataset.mes = j.month || '';
    document.body.dataset.desenhadoMs = performance.now().toFixed(1);
  };
  if (REGIAO) {
    $('graficos').replaceChildren();
    carregarFiliais(j.month || '').finally(desenhou);
  } else {
    desenharListas(j);
    desenharGraficos(j);
  }
  $('painel').hidden = false;
  $('entrada').hidden = true;
  // The month's own notice (no figures).
  aviso(j.notice || '');
  if (!REGIAO) desenhou();
}

function mesEscolhido() {
  return String($('ano').value).padStart(4, '0') + '-' + $('mes').value;
}

function escolherMes(a, m) {
  $('ano').value = a;
  $('mes').value = String(m).padStart(2, '0');
}

// The month whose figures are on screen ('AAAA-MM'): the picker goes back to it when another could not be shown.
let mostrado = null;

function voltarAoMostrado() {
  if (!mostrado) return;
  const [a, m] = mostrado.split('-');
  escolherMes(Number(a), Number(m));
}

// empilhar: the month is a step the user took, which Back should undo. aceitar: whether to draw the month
// fetched; a month it refuses is not drawn, and the answer is null.
async function carregar(empilhar = true, aceitar = null) {
  const mes = mesEscolhido();
  if (!/^\d{4}-\d{2}$/.test(mes)) { aviso('Escolha um mês.'); voltarAoMostrado(); return false; }
  const meu = ++pedido;
  let r, j;
  try {
    // Revalidated, not refetched: while nothing changed the server answers 304 and the browser hands back
    // the month it holds, so a wall asking every minute costs a few bytes.
    r = await fetch('api/cockpit?month=' + encodeURIComponent(mes),
                    { headers: { 'X-Kpd-Pagina': '1' }, credentials: 'same-origin', cache: 'no-cache' });
    j = await r.json();
  } catch (e) {
    if (meu === pedido) {
      aviso('Não foi possível falar com o servidor de aplicação. Verifique a conexão e tente de novo.',
            mostrado ? null : () => carregar(false));
      voltarAoMostrado();
      carimbo(new Date());
    }
    return false;
  }
  if (meu !== pedido) return false;   // another month was asked for meanwhile
  if (r.status === 401) {
    pedirEntrada(j.erro);
    return false;
  }
  if (!r.ok) {
    // With nothing on the page yet, the notice offers to try again rather than leave an empty page.
    aviso(j.erro || ('Erro ' + r.status), mostrado ? null : () => carregar(false));
    voltarAoMostrado();
    carimbo(new Date());
    return false;
  }
  if (aceitar && !aceitar(j)) return null;
  // A wall screen keeps its own address: one that follows the calendar must not stick to this month.
  if (!TV) {
    if (empilhar && mostrado && mes !== mostrado) history.pushState({ mes }, '', '?mes=' + mes);
    else history.replaceState({ mes }, '', '?mes=' + mes);
  }
  mostrado = mes;
  // The server names the signed-in user beside the figures; an open server names no one.
  const usuario = decodeURIComponent(r.headers.get('X-Kpd-Usuario') || '');
  $('usuario').textContent = usuario ? '(' + usuario + ')' : '';
  $('sair').hidden = !usuario;
  desenhar(j);
  desenhado = j;
  buscadoEm = new Date();
  carimbo(null);
  return true;
}

// Whether the month drawn has a figure anywhere: a month before its first load has none.
function temNumeros(j) {
  return ((j && j.scopes) || []).some((escopo) =>
    Object.values(escopo).some((medida) => medida && typeof medida === 'object' && typeof medida.figure === 'number'));
}

// A wall following the calendar, on the 1st of the month before its first load, would show a dead cockpit
// all day: it shows the latest month with figures (up to a year back), saying so. The months without any
// are fetched, not drawn, so the wall does not flash an empty cockpit at every cycle.
const MESES_ATRAS = 12;
async function mesComNumeros() {
  let calendario = null;
  const comNumeros = (j) => { calendario = calendario ?? (j.monthTitle || ''); return temNumeros(j); };
  for (let volta = 0; volta <= MESES_ATRAS; volta++) {
    if (volta > 0) {
      const [a, m] = mesEscolhido().split('-').map(Number);
      escolherMes(m === 1 ? a - 1 : a, m === 1 ? 12 : m - 1);
    }
    const ok = await carregar(true, comNumeros);
    if (ok === false) return false;
    if (ok) {
      if (volta > 0) aviso(`${calendario} ainda sem cargas — mostrando ${desenhado.monthTitle}`);
      return true;
    }
  }
  const hoje = new Date();
  escolherMes(hoje.getFullYear(), hoje.getMonth() + 1);
  return carregar();
}

async function cicloTv(doEndereco) {
  let ok;
  if (doEndereco) ok = await carregar();
  else {
    const hoje = new Date();
    escolherMes(hoje.getFullYear(), hoje.getMonth() + 1);
    ok = await mesComNumeros();
  }
  setTimeout(() => cicloTv(doEndereco), ok ? CICLO_TV_MS : NOVA_TENTATIVA_MS);
}

function pedirEntrada(mensagem) {
  $('painel').hidden = true;
  $('sair').hidden = true;
  $('entrada').hidden = false;
  aviso(mensagem);
}

async function sair() {
  ++pedido;   // a month still on its way is not drawn after the sign-out
  try { await fetch('api/sair', { method: 'POST', credentials: 'same-origin' }); } catch (e) { /* the session ends on its own */ }
  pedirEntrada('Você saiu. Entre de novo para ver os números.');
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
  $('sair').addEventListener('click', sair);
  // The browser's counterpart of the window's activation: coming back to the tab shows fresh figures.
  document.addEventListener('visibilitychange', () => { if (document.visibilityState === 'visible') carregar(false); });
  // Back and Forward step through the months viewed.
  window.addEventListener('popstate', (ev) => {
    const m = /^(\d{4})-(\d{2})$/.exec((ev.state && ev.state.mes) || new URLSearchParams(location.search).get('mes') || '');
    if (!m) return;
    escolherMes(Number(m[1]), Number(m[2]));
    carregar(false);
  });
  if (TV) {
    document.body.classList.add('tv');
    cicloTv(doEndereco);
  } else {
    carregar(false);
  }
});
