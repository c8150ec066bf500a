// The step-through page of lumora-replay in a real browser with real input: headless Chromium
// (Debian's chromium) driven by puppeteer-core clicks through the steps, uses the keys, opens a
// deep link, and checks what the page shows for a step (panel text, lit icons, level bar,
// virtual and panel clocks, captions) against the trace of that step. The expectation of a step
// is worked out here, independently of the page: the scenario is cut after the step's
// directive, replayed with `lumora-replay --decode`, and its packets folded into the panel's
// state by the rules of the packet format.
//
//   node page_test.mjs LUMORA_REPLAY SCENARIO RECORDING OUT_DIR
//
// Keeps OUT_DIR/page_step34.png, a screenshot of the page at its deep link. Exit status 77
// (skipped) when chromium or puppeteer-core is missing.
import { execFileSync } from 'node:child_process';
import { existsSync, mkdirSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, resolve } from 'node:path';
import { pathToFileURL } from 'node:url';

const SKIP = 77;
const [replay, scenario, recording, outDir] = process.argv.slice(2).map((p) => p && resolve(p));
if (!outDir) {
  console.error('usage: node page_test.mjs LUMORA_REPLAY SCENARIO RECORDING OUT_DIR');
  process.exit(2);
}
const chromium = process.env.LUMORA_CHROMIUM || '/usr/bin/chromium';
if (!existsSync(chromium)) {
  console.log(`SKIPPED: ${chromium} is missing: install the Debian package chromium`);
  process.exit(SKIP);
}
let puppeteer;
try {
  puppeteer = (await import('puppeteer-core')).default;
} catch {
  console.log('SKIPPED: puppeteer-core is missing: run npm ci --prefix tests/browser');
  process.exit(SKIP);
}

let failures = 0;
let checks = 0;
function check(ok, what) {
  checks++;
  if (!ok) {
    failures++;
    console.log(`FAIL: ${what}`);
  }
}
function same(actual, expected, what) {
  check(JSON.stringify(actual) === JSON.stringify(expected),
        `${what}: got ${JSON.stringify(actual)}, expected ${JSON.stringify(expected)}`);
}

// --- The expectation of a step, from the trace ------------------------------------------------

// The Icon Map bits of each icon as the panel's documentation gives them (byte, mask); VCD is
// the CD and VIDEO bits together.
const ICONS = [
  ['PLAY', 2, 0x10], ['PAUSE', 2, 0x20], ['SCAN A', 2, 0x40], ['SCAN B', 2, 0x80],
  ['AUX', 3, 0x01], ['PICTURE', 3, 0x02], ['TV', 3, 0x04], ['MUSIC', 5, 0x20], ['CD', 5, 0x40],
  ['VIDEO', 5, 0x80], ['VCD', 5, 0xc0], ['SESSION', 7, 0x20], ['MARKED', 7, 0x40],
  ['DVD', 7, 0x80],
];
const MONTHS = 'JAN FEB MAR APR MAY JUN JUL AUG SEP OCT NOV DEC'.split(' ');
const pad = (n, w = 2) => String(n).padStart(w, '0');

// A quoted text of the readable trace: \" \\ and \xHH escapes.
function unquote(quoted) {
  return quoted.slice(1, -1).replace(/\\(x[0-9a-fA-F]{2}|.)/g,
    (_, e) => (e[0] === 'x' ? String.fromCharCode(parseInt(e.slice(1), 16)) : e));
}

// The scenario's steps: one per directive, with the "#>" captions and the "# wait N" pauses
// written before it; a tick line without captions or a pause before it joins a step of ticks
// just before it (a run of clock ticks is one step of the page, with its count).
function stepsOf(text) {
  const steps = [];
  let captions = [];
  let waitMs = 0;
  text.split('\n').forEach((raw, i) => {
    const line = raw.trim();
    if (line.startsWith('#>')) captions.push(line.slice(2).trim());
    const wait = /^#\s*wait\s+([0-9.]+)$/.exec(line);
    if (wait) waitMs += Math.round(Number(wait[1]) * 1000);
    if (line === '' || line.startsWith('#')) return;
    const tick = /^tick(?: (\d+))?$/.exec(line);
    const ticks = tick ? Number(tick[1] || 1) : 0;
    const before = steps[steps.length - 1];
    if (ticks > 0 && before && before.ticks > 0 && captions.length === 0 && waitMs === 0) {
      before.sources.push(line);
      before.last = i + 1;
      before.ticks += ticks;
      return;
    }
    steps.push({ line: i + 1, last: i + 1, source: line, sources: [line], captions, ticks,
                 waitMs });
    captions = [];
    waitMs = 0;
  });
  return steps;
}

// The trace of the first k steps: the scenario cut after step k's directive and replayed,
// without the close line that the end of a cut scenario adds when the agent shuts down.
const traces = new Map();
function traceOf(lines, steps, k) {
  const key = `${steps.length}:${k}`;
  if (k === 0) return [];
  if (!traces.has(key)) {
    const dir = mkdtempSync(join(tmpdir(), 'lumora-page-cut-'));
    const cut = join(dir, 'cut.scn');
    writeFileSync(cut, lines.slice(0, steps[k - 1].last).join('\n') + '\n');
    const trace = execFileSync(replay, ['--decode', cut], { encoding: 'latin1' }).split('\n');
    rmSync(dir, { recursive: true });
    while (trace.length && trace[trace.length - 1] === '') trace.pop();
    if (steps[k - 1].source !== 'close' && trace[trace.length - 1] === 'close') trace.pop();
    traces.set(key, trace);
  }
  return traces.get(key);
}

// What the panel shows after step n (1-based): the packets of every step applied in order, the
// virtual clock moved by the steps' time and tick directives and the agent's waits.
function expectAt(lines, steps, n) {
  const panel = { line2: '', line3: '', map: new Array(10).fill(0), clock: null };
  let virtualMs = Date.UTC(2006, 0, 5, 21, 7, 30);
  for (let k = 1; k <= n; k++) {
    for (const source of steps[k - 1].sources) {
      const time = /^time (\d+)-(\d+)-(\d+) (\d+):(\d+):(\d+)$/.exec(source);
      if (time) virtualMs = Date.UTC(time[1], time[2] - 1, time[3], time[4], time[5], time[6]);
      const tick = /^tick(?: (\d+))?$/.exec(source);
      if (tick) virtualMs += 1000 * Number(tick[1] || 1);
    }
    const before = traceOf(lines, steps, k - 1).length;
    for (const line of traceOf(lines, steps, k).slice(before)) {
      let m;
      if (line === 'clear') {
        panel.line2 = panel.line3 = '';
        panel.map.fill(0);
      } else if ((m = /^icons ((?:[0-9a-f]{2} ?){10})$/.exec(line))) {
        panel.map = m[1].trim().split(' ').map((h) => parseInt(h, 16));
      } else if ((m = /^text([23]) \d+ (".*")$/.exec(line))) {
        panel[`line${m[1]}`] = unquote(m[2]);
      } else if ((m = /^pclock start (\d+) (\d+) (\d+) (\d+) (\d+) (\d+) (\d+) (\d+)$/.exec(line))) {
        const [order, h, min, s, c, y, mon, d] = m.slice(1).map(Number);
        panel.clock = { order, given: Date.UTC(c * 100 + y, mon - 1, d, h, min, s), at: virtualMs };
      } else if (line === 'pclock stop') {
        panel.clock = null;
      } else if ((m = /^sleep (\d+)$/.exec(line))) {
        virtualMs += Number(m[1]);
      }
    }
  }
  const lit = ICONS.filter(([, byte, mask]) => (panel.map[byte] & mask) === mask).map(([n]) => n);
  const bar = panel.map[3] | (panel.map[4] << 8) | (panel.map[5] << 16);
  const segments = [...Array(16).keys()].filter((i) => (bar >> (i + 4)) & 1).length;
  let clockText = 'not running';
  let line2 = panel.line2;
  let line3 = panel.line3;
  if (panel.clock) {
    const t = new Date(panel.clock.given + Math.floor((virtualMs - panel.clock.at) / 1000) * 1000);
    const [Y, M, D] = [t.getUTCFullYear(), t.getUTCMonth() + 1, t.getUTCDate()];
    const date = panel.clock.order === 2 ? `${String(D).padStart(2)} ${MONTHS[M - 1]} ${Y}`
      : panel.clock.order === 3 ? `${MONTHS[M - 1]} ${pad(D)} ${Y}`
        : `${Y}/${pad(M)}/${pad(D)}`;
    // The agent's one form of the time: 12-hour, the hour right-aligned in two places.
    const h = t.getUTCHours();
    const time = ` ${String(h % 12 === 0 ? 12 : h % 12).padStart(2)}:${pad(t.getUTCMinutes())}:` +
      `${pad(t.getUTCSeconds())} ${h < 12 ? 'AM' : 'PM'}`;
    clockText = `${date} ${time}`;
    line2 = date;
    line3 = time;
  }
  const v = new Date(virtualMs);
  const virtualTime = `${v.getUTCFullYear()}-${pad(v.getUTCMonth() + 1)}-${pad(v.getUTCDate())} ` +
    `${pad(v.getUTCHours())}:${pad(v.getUTCMinutes())}:${pad(v.getUTCSeconds())}`;
  // The page's clock: the "# wait" pauses up to the step, as the demo plays them.
  const playMs = steps.slice(0, n).reduce((sum, s) => sum + s.waitMs, 0);
  const whole = Math.floor(playMs / 1000);
  let playTime = whole >= 3600
    ? `${Math.floor(whole / 3600)}:${pad(Math.floor(whole / 60) % 60)}:${pad(whole % 60)}`
    : `${Math.floor(whole / 60)}:${pad(whole % 60)}`;
  if (playMs % 1000 !== 0) playTime += `.${pad(playMs % 1000, 3)}`.replace(/0+$/, '');
  return { line2, line3, lit, segments, clockText, virtualTime, captions: steps[n - 1].captions,
           source: steps[n - 1].source, waitMs: String(steps[n - 1].waitMs), playTime };
}

// --- What the page shows ----------------------------------------------------------------------

async function shown(page) {
  return page.evaluate(() => {
    const frame = document.querySelector('.frame.current');
    if (!frame) return null;
    // The step's picture is drawn once in the page; the step uses it.
    const use = frame.querySelector('svg.panel use');
    const svg = use ? document.querySelector(use.getAttribute('href')) : null;
    if (!svg) return { id: frame.id, picture: 'missing' };
    const text = (n) => {
      const t = svg.querySelector(`text[data-line="${n}"]`);
      return t ? t.querySelector('title').textContent : null;
    };
    const visible = [...document.querySelectorAll('.frame')].filter(
      (f) => getComputedStyle(f).display !== 'none').length;
    const entry = document.querySelector('#timeline a.current');
    return {
      id: frame.id,
      visible,
      hash: location.hash,
      counter: document.getElementById('counter').textContent,
      timelineCurrent: entry ? entry.getAttribute('data-step') : null,
      line2: text(2),
      line3: text(3),
      lit: [...svg.querySelectorAll('text.lit[data-icon]')].map((t) => t.textContent),
      segments: svg.querySelectorAll('rect.lit[data-segment]').length,
      clockText: frame.querySelector('.panel-clock').textContent,
      virtualTime: frame.querySelector('.virtual-time').textContent,
      waitMs: frame.getAttribute('data-wait-ms'),
      playTime: frame.querySelector('.play-time').textContent,
      captions: [...frame.querySelectorAll('.captions p')].map((p) => p.textContent),
      source: frame.querySelector('.source').textContent,
      panelClockLabel: svg.textContent.includes('PANEL CLOCK'),
    };
  });
}

async function expectStep(page, lines, steps, n, how) {
  const got = await shown(page);
  const want = expectAt(lines, steps, n);
  if (!got) return check(false, `${how}: no step is shown`);
  same(got.id, `step${n}`, `${how}: the step shown`);
  same(got.visible, 1, `${how}: steps visible at once`);
  same(got.counter, `${n} / ${steps.length}`, `${how}: the counter`);
  same(got.timelineCurrent, String(n), `${how}: the step marked in the timeline`);
  same(got.hash, `#step${n}`, `${how}: the address`);
  same(got.source, want.source, `${how}: the scenario line`);
  same(got.captions, want.captions, `${how}: the captions`);
  same(got.line2, want.line2, `${how}: line 2`);
  same(got.line3, want.line3, `${how}: line 3`);
  same(got.lit, want.lit, `${how}: the lit icons`);
  same(got.segments, want.segments, `${how}: the lit level segments`);
  same(got.virtualTime, want.virtualTime, `${how}: the virtual time`);
  same(got.waitMs, want.waitMs, `${how}: the pause before the step`);
  same(got.playTime, want.playTime, `${how}: the play time`);
  same(got.clockText, want.clockText, `${how}: the panel clock`);
  same(got.panelClockLabel, want.clockText !== 'not running', `${how}: the PANEL CLOCK label`);
  return want;
}

async function press(page, key, times = 1) {
  for (let i = 0; i < times; i++) await page.keyboard.press(key);
}

// --- The run ----------------------------------------------------------------------------------

mkdirSync(outDir, { recursive: true });
const work = mkdtempSync(join(tmpdir(), 'lumora-page-'));
const browser = await puppeteer.launch({
  executablePath: chromium,
  headless: true,
  userDataDir: join(work, 'profile'),
  args: ['--no-sandbox', '--disable-gpu', '--disable-background-networking',
    '--disable-component-update', '--disable-sync', '--no-first-run'],
});
try {
  const page = await browser.newPage();
  await page.setViewport({ width: 1280, height: 900 });
  page.on('pageerror', (e) => check(false, `script error on the page: ${e.message}`));

  // The evening: every step, keys, clicks and a deep link.
  const text = readFileSync(scenario, 'latin1');
  const lines = text.split('\n');
  const steps = stepsOf(text);
  const html = join(work, 'evening.html');
  execFileSync(replay, ['--html', html, scenario], { stdio: ['ignore', 'ignore', 'inherit'] });
  const url = pathToFileURL(html).href;
  await page.goto(url);
  same(await page.$$eval('#timeline a', (a) => a.length), steps.length, 'timeline entries');
  same(await page.$$eval('#timeline li.caption', (c) => c.map((x) => x.textContent)),
       steps.flatMap((s) => s.captions), 'captions in the timeline');
  // Each timeline entry: step number, virtual time, event name and session.
  const entry3 = await page.$eval('#timeline a[data-step="3"]',
    (a) => [...a.querySelectorAll('span')].map((s) => s.textContent));
  same(entry3, ['3', '21:07:30', 'NavLiveTv', '', '1'], 'timeline entry of step 3');
  // An event's text stands beside its name, as the readable trace quotes it.
  const itemNumber = steps.findIndex((s) => s.source === 'event 2 ItemNumber 7') + 1;
  same(await page.$eval(`#timeline a[data-step="${itemNumber}"]`,
    (a) => [...a.querySelectorAll('span')].slice(2).map((s) => s.textContent)),
       ['ItemNumber', '"7"', '2'], 'timeline entry of the channel number');
  await page.evaluate(() => history.replaceState(null, '', '#step1'));
  await expectStep(page, lines, steps, 1, 'opened');

  await press(page, 'ArrowRight', 4);
  await expectStep(page, lines, steps, 5, 'ArrowRight x4');
  await press(page, 'ArrowLeft');
  await expectStep(page, lines, steps, 4, 'ArrowLeft');
  await press(page, 'End');
  await expectStep(page, lines, steps, steps.length, 'End');
  await press(page, 'ArrowRight');
  await expectStep(page, lines, steps, steps.length, 'ArrowRight at the end');
  await press(page, 'Home');
  await expectStep(page, lines, steps, 1, 'Home');

  // A click on a timeline entry jumps there; the buttons step on.
  const musicTitle = steps.findIndex((s) => s.source.includes('MusicTitle')) + 1;
  await page.click(`#timeline a[data-step="${musicTitle}"]`);
  await expectStep(page, lines, steps, musicTitle, 'timeline click (music title)');
  await page.click('#next');
  await expectStep(page, lines, steps, musicTitle + 1, 'Next button');
  await page.click('#prev');
  await page.click('#prev');
  await expectStep(page, lines, steps, musicTitle - 1, 'Back button twice');
  const suspend = steps.findIndex((s) => s.source === 'power 4') + 1;
  await page.click(`#timeline a[data-step="${suspend}"]`);
  const clock = await expectStep(page, lines, steps, suspend, 'timeline click (suspend)');
  check(clock.clockText !== 'not running', 'the suspend step runs the panel clock');

  // An icons packet is shown by its icons' names; its bytes are beside, folded away.
  const icons = await page.$$eval('.frame.current .calls li', (items) => items.map((li) => ({
    call: li.querySelector('.call').textContent,
    bytes: li.querySelector('details code') ? li.querySelector('details code').textContent : '',
    open: li.querySelector('details') ? li.querySelector('details').open : null,
  })));
  const raw = execFileSync(replay, [scenario], { encoding: 'latin1' }).split('\n');
  check(icons.length > 0 && icons.every((c) => !/^icons [0-9a-f]{2} /.test(c.call)),
        'no icons packet is shown as hex');
  check(icons.every((c) => c.bytes === '' ||
        raw.includes('cmd ' + c.bytes.replace(/\s+/g, ''))), 'packet bytes are those of the trace');
  check(icons.some((c) => c.bytes !== '') && icons.every((c) => c.open !== true),
        'packet bytes are there, folded');

  // A deep link opens its step at once.
  await page.goto('about:blank');
  await page.goto(`${url}#step34`);
  await expectStep(page, lines, steps, 34, 'deep link #step34');
  await page.screenshot({ path: join(outDir, 'page_step34.png') });
  await page.click('#next');
  await expectStep(page, lines, steps, 35, 'Next after the deep link');

  // A recording of the agent replays into the page like any scenario.
  const recText = readFileSync(recording, 'latin1');
  const recLines = recText.split('\n');
  const recSteps = stepsOf(recText);
  const recHtml = join(work, 'recording.html');
  execFileSync(replay, ['--html', recHtml, recording], { stdio: ['ignore', 'ignore', 'inherit'] });
  await page.goto(`${pathToFileURL(recHtml).href}#step${recSteps.length}`);
  const last = await expectStep(page, recLines, recSteps, recSteps.length,
    'recording, last step');
  check(last.clockText !== 'not running', 'the recording ends with the panel clock running');
  await press(page, 'ArrowLeft', 2);
  await expectStep(page, recLines, recSteps, recSteps.length - 2, 'recording, ArrowLeft x2');
} finally {
  await browser.close();
  rmSync(work, { recursive: true, force: true });
}

console.log(`${checks - failures} passed, ${failures} failed`);
process.exit(failures === 0 ? 0 : 1);
