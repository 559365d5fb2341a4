// The web platform in a real browser: headless Chromium driven with real clicks and keys at
// canvas positions. Run by scripts/web-test:
//   node web_test.mjs SITE_FOLDER NATIVE_PICTURE_PROGRAM NODE_MODULES_FOLDER [API_TEST_FOLDER]
// Each check opens its page afresh; the browser profile is the test's own. With the folder of
// zepha_api_test.html, the checks that run on every platform run too, each case in its own page.
import assert from 'node:assert/strict';
import {execFileSync, spawn} from 'node:child_process';
import fs from 'node:fs';
import {createRequire} from 'node:module';
import os from 'node:os';
import path from 'node:path';

const [site, nativePicture, nodeModules, apiTests] = process.argv.slice(2);
const puppeteer = createRequire(path.resolve(nodeModules, 'x.js'))('puppeteer-core');
const work = fs.mkdtempSync(path.join(os.tmpdir(), 'zepha-web-test-'));
const WIDTH = 595, HEIGHT = 496, ORIGIN_X = 297, ORIGIN_Y = 248;
const EOF_LINE = 'EOF encountered in script file ZEPHA.SCR';

// ---- The page ----

function serve(folder) {
    const server = spawn('python3', ['-u', '-m', 'http.server', '0', '--bind', '127.0.0.1',
                                     '--directory', folder], {stdio: ['ignore', 'pipe', 'ignore']});
    process.on('exit', () => server.kill()); // also when a check fails on the way
    return new Promise(resolve => server.stdout.on('data', data => {
        const port = /port (\d+)/.exec(String(data));
        if (port)
            resolve({server, base: `http://127.0.0.1:${port[1]}`});
    }));
}

const sleep = ms => new Promise(resolve => setTimeout(resolve, ms));

async function until(page, test, what, arg = null, ms = 10000) {
    for (const end = Date.now() + ms; Date.now() < end; await sleep(20))
        if (await page.evaluate(test, arg))
            return;
    assert.fail('timed out waiting for ' + what);
}

async function open(browser, base, program) {
    const page = await browser.newPage();
    page.errors = [];
    page.on('pageerror', error => page.errors.push(error.message));
    await page.goto(`${base}/${program}.html`);
    await until(page, () => typeof zepha === 'object' && zepha.frames > 0, 'the first picture');
    return page;
}

// A click at the centre of the client pixel of logical (x, y), however large the canvas shows.
async function click(page, x, y) {
    const box = await (await page.$('#zepha-canvas')).boundingBox();
    const scale = box.width / WIDTH;
    await page.mouse.click(box.x + (ORIGIN_X + x + 0.5) * scale, box.y + (ORIGIN_Y - y + 0.5) * scale);
}

async function ctrl(page, letter) {
    await page.keyboard.down('Control');
    await page.keyboard.press('Key' + letter);
    await page.keyboard.up('Control');
}

const logLines = page =>
    page.evaluate(() => [...document.querySelectorAll('#zepha-log div')].map(line => line.textContent));

// The log panel's lines that run past its edge, and how many it shows on more than one row.
const logOverflow = page => page.evaluate(() => {
    const panel = zepha.element('zepha-log');
    const left = panel.getBoundingClientRect().left + panel.clientLeft;
    const right = left + panel.clientWidth;
    const text = line => {
        const range = document.createRange();
        range.selectNodeContents(line);
        return range.getBoundingClientRect();
    };
    const lines = [...panel.children].map(line => [line.textContent, text(line)]);
    const row = Math.min(...lines.map(([, box]) => box.height)); // the shortest line is one row
    return {cut: lines.filter(([, box]) => box.left < left || box.right > right).map(([line]) => line),
            wrapped: lines.filter(([, box]) => box.height > 1.5 * row).length};
});

// The log lines of the editor's last redraw: its shapes, after the palette's last label.
async function lastRedraw(page) {
    await sleep(150);
    const lines = await logLines(page);
    return lines.slice(lines.findLastIndex(line => line.endsWith('"Black"')) + 1);
}

// The canvas's own pixels, red, green and blue.
async function canvasPixels(page) {
    const rgba = Buffer.from(await page.evaluate(() => {
        const canvas = document.getElementById('zepha-canvas');
        const data = canvas.getContext('2d').getImageData(0, 0, canvas.width, canvas.height).data;
        let text = '';
        for (let i = 0; i < data.length; i++)
            text += String.fromCharCode(data[i]);
        return btoa(text);
    }), 'base64');
    const rgb = Buffer.alloc(WIDTH * HEIGHT * 3);
    for (let i = 0, j = 0; i < rgba.length; i += 4, j += 3)
        rgba.copy(rgb, j, i, i + 3);
    return rgb;
}

const checked = (page, command) => page.evaluate(
    id => zepha.element('zepha-menu-list').querySelector(`[data-command="${id}"]`).classList.contains('checked'),
    command);

async function giveScript(page, file) {
    await (await page.$('#zepha-script-picker')).uploadFile(file);
    await until(page, () => zepha.element('zepha-status').textContent.includes('is now'), 'the script');
}

// ---- The native side ----

// The editor's picture and log ring on the native platform after playing the script.
function nativeRun(script, logging) {
    const picture = path.join(work, 'native.ppm');
    const log = execFileSync(nativePicture, [...(logging ? ['--logging'] : []), script, picture],
                             {encoding: 'latin1', timeout: 60000});
    const ppm = fs.readFileSync(picture);
    return {pixels: ppm.subarray(ppm.length - WIDTH * HEIGHT * 3), log: log.split('\n').slice(0, -1)};
}

function samePicture(actual, expected, what) {
    let differing = 0;
    for (let i = 0; i < expected.length; i += 3)
        differing += actual.compare(expected, i, i + 3, i, i + 3) !== 0 ? 1 : 0;
    assert.equal(differing, 0, `${what}: ${differing} pixels differ`);
}

// ---- The checks ----

const IDM_LOGGING = 4, IDM_RECORD = 5;
const tool = k => [-275, 225 - 40 * k]; // the centre of palette box k

async function editorRecordDownloadReplay(browser, base) {
    const page = await open(browser, base, 'zepha_editor');
    await page.evaluate(() => localStorage.clear());
    await ctrl(page, 'L');
    await ctrl(page, 'R');
    assert.ok(await checked(page, IDM_RECORD), 'Ctrl+R checks Record');
    // Characters are events too: ASCII, Latin-1 (a key that types it, as on a French keyboard)
    // and Enter.
    await page.keyboard.press('KeyA');
    const keys = await page.target().createCDPSession();
    for (const type of ['keyDown', 'keyUp'])
        await keys.send('Input.dispatchKeyEvent', {type, key: '\u00e9', code: 'Digit2', text: '\u00e9'});
    await page.keyboard.press('Enter');
    await click(page, ...tool(0));
    await click(page, -100, 100);
    await click(page, 0, 0);
    assert.ok((await lastRedraw(page)).includes('black rectangle with bounding box (-100,100) to (0,0), filled'));
    // The palette's lines are longer than the panel is wide: they wrap, and none is cut.
    const overflow = await logOverflow(page);
    assert.deepEqual(overflow.cut, [], 'lines cut at the log panel\'s edge');
    assert.ok(overflow.wrapped > 0, 'a palette line wraps in the log panel');
    await click(page, ...tool(8)); // red
    await click(page, ...tool(1));
    await click(page, 50, -50);
    await click(page, 150, -150);
    assert.ok((await lastRedraw(page)).includes('red oval with bounding box (50,-50) to (150,-150), filled'));
    await click(page, ...tool(2));
    await click(page, -50, 50); // picks the rectangle
    await click(page, ...tool(3));
    await click(page, 100, 150); // and moves it
    let shapes = await lastRedraw(page);
    assert.ok(!shapes.some(line => line.includes('(-100,100) to (0,0)')), 'the rectangle has moved');
    assert.ok(shapes.some(line => line.startsWith('black rectangle')), 'the moved rectangle is drawn');
    await click(page, ...tool(2));
    await click(page, 100, -100); // picks the oval
    await click(page, ...tool(5)); // and deletes it
    shapes = await lastRedraw(page);
    assert.ok(!shapes.some(line => line.includes('oval')), 'the oval is deleted');
    await ctrl(page, 'R');
    assert.ok(!(await checked(page, IDM_RECORD)), 'Ctrl+R again clears Record');
    const picture = await canvasPixels(page);

    // The download is the script the runtime wrote, in the desktop's format.
    const downloads = path.join(work, 'downloads');
    const session = await page.target().createCDPSession();
    await session.send('Browser.setDownloadBehavior', {behavior: 'allow', downloadPath: downloads});
    await page.click('#zepha-download');
    const downloaded = path.join(downloads, 'ZEPHA.SCR');
    for (let i = 0; i < 200 && !fs.existsSync(downloaded); i++)
        await sleep(25);
    const script = fs.readFileSync(downloaded);
    assert.deepEqual(script, Buffer.from(await page.evaluate(() => [...FS.readFile('/zepha/ZEPHA.SCR')])));
    assert.match(script.toString('latin1'),
                 /^(ZEPHA_(MOUSE\(-?\d+, -?\d+\)|KBD\(-?\d+\)|PERIODIC\(\d+\));\r\n)+$/);
    assert.equal((script.toString('latin1').match(/ZEPHA_MOUSE/g) || []).length, 14);
    assert.match(script.toString('latin1'), /^(ZEPHA_PERIODIC\(\d+\);\r\n)?ZEPHA_KBD\(97\);\r\n(ZEPHA_PERIODIC\(\d+\);\r\n)?ZEPHA_KBD\(-23\);\r\n(ZEPHA_PERIODIC\(\d+\);\r\n)?ZEPHA_KBD\(13\);\r\n/);

    // After a reload the script is still there; given back through the picker, it replays to
    // the same picture and log as on the native platform.
    await page.reload();
    await until(page, () => typeof zepha === 'object' && zepha.frames > 0, 'the reloaded page');
    assert.equal(await page.evaluate(() => FS.readFile('/zepha/ZEPHA.SCR').length), script.length);
    await giveScript(page, downloaded);
    await ctrl(page, 'L');
    await ctrl(page, 'P');
    await until(page, eof => [...document.querySelectorAll('#zepha-log div')].some(
        line => line.textContent === eof), 'the end of playback', EOF_LINE);
    await sleep(100);
    const replayed = await canvasPixels(page);
    samePicture(replayed, picture, 'the replayed picture against the recorded one');
    const native = nativeRun(downloaded, true);
    samePicture(replayed, native.pixels, 'the page against the native platform');
    assert.deepEqual((await logLines(page)).slice(-native.log.length), native.log);
    assert.deepEqual(page.errors, []);
    await page.close();
}

async function menuAndShortcuts(browser, base) {
    const page = await open(browser, base, 'zepha_editor');
    await page.click('#zepha-menu-title');
    const lines = await page.$$eval('#zepha-menu-list li', items => items.map(
        item => [item.className, item.textContent, !!item.querySelector('u')]));
    assert.equal(await page.$eval('#zepha-menu-title', title => title.innerHTML), '<u>R</u>un');
    assert.deepEqual(lines.map(line => line[0].replace(' checked', '')), [
        'command', 'command', 'command', 'separator', 'command', 'separator', 'command', 'command',
        'command', 'separator', 'command', 'separator', 'info', 'info', 'info', 'info']);
    assert.deepEqual(lines.filter(line => line[0] !== 'separator').map(line => line[1]), [
        'AnimateCtrl+A', 'Halt animationCtrl+H', 'Advance one frameCtrl+F', 'LoggingCtrl+L',
        'Record ScriptCtrl+R', 'Playback ScriptCtrl+P', 'Play One ScriptCtrl+O', 'QuitCtrl+Q',
        'ZEPHA graphics runtime', 'MAC: zepha@example.org', 'WINDOWS: zepha@example.org',
        'UPDATES: zepha@example.org']);
    // The display turned logging off; choosing Logging in the menu turns it on, Ctrl+L off.
    assert.ok(!(await checked(page, IDM_LOGGING)));
    await page.click(`#zepha-menu-list [data-command="${IDM_LOGGING}"]`);
    await until(page, () => zepha.element('zepha-menu-list').hidden, 'the menu to close');
    await until(page, id => zepha.menuLines[id].classList.contains('checked'), 'Logging checked', IDM_LOGGING);
    await ctrl(page, 'L');
    await until(page, id => !zepha.menuLines[id].classList.contains('checked'), 'Logging cleared', IDM_LOGGING);

    // The browser's own meaning of the shortcuts (print, reload, the address bar) is prevented.
    await page.evaluate(() => {
        window.prevented = [];
        window.addEventListener('keydown', event => event.ctrlKey && event.key !== 'Control' &&
                                window.prevented.push(event.key + ':' + event.defaultPrevented));
    });
    for (const letter of 'AHFPOL')
        await ctrl(page, letter);
    assert.deepEqual(await page.evaluate(() => window.prevented),
                     [...'ahfpol'].map(letter => letter + ':true'));
    // Ctrl+Q ends the program: the page says so and takes no more input.
    await ctrl(page, 'Q');
    await until(page, () => zepha.ended, 'the end of the program');
    assert.equal(await page.$eval('#zepha-status', status => status.textContent),
                 'The program has ended (status 0).');
    await click(page, 0, 0);
    await page.click('#zepha-menu-title').catch(() => {});
    assert.deepEqual(await page.evaluate(() => [zepha.queue.length, zepha.menuOpen || false]), [0, false]);
    assert.deepEqual(page.errors, []);
    await page.close();
}

async function dialog(browser, base) {
    const page = await open(browser, base, 'zepha_ask_name');
    await until(page, () => !zepha.element('zepha-dialog').hidden, 'the dialog');
    assert.equal(await page.$eval('#zepha-dialog-prompt', prompt => prompt.textContent), 'What is your name?');
    const before = await canvasPixels(page);
    await page.mouse.click(300, 300); // on the page behind the dialog: no input for the program
    assert.equal(await page.evaluate(() => zepha.queue.length), 0);
    await page.keyboard.type('Ada');
    await page.keyboard.press('Enter');
    await until(page, () => zepha.element('zepha-dialog').hidden, 'the dialog to close');
    await sleep(200);
    assert.notDeepEqual(await canvasPixels(page), before, 'the answer is drawn');
    assert.deepEqual(page.errors, []);
    await page.close();
}

// At a device pixel ratio of 1.5 the canvas shows each of its pixels as 2 by 2 device pixels,
// unsmoothed, and clicks land on the client pixels they are shown on.
async function crispAtAnyRatio(browser, base) {
    const page = await browser.newPage();
    await page.setViewport({width: 1000, height: 900, deviceScaleFactor: 1.5});
    await page.goto(`${base}/zepha_editor.html`);
    await until(page, () => typeof zepha === 'object' && zepha.frames > 0, 'the first picture');
    assert.deepEqual(await page.$eval('#zepha-canvas', canvas => {
        const box = canvas.getBoundingClientRect();
        return [Math.round(box.width * devicePixelRatio), Math.round(box.height * devicePixelRatio),
                getComputedStyle(canvas).imageRendering];
    }), [2 * WIDTH, 2 * HEIGHT, 'pixelated']);
    await ctrl(page, 'L');
    await click(page, ...tool(0));
    await click(page, -201, 37);
    await click(page, 13, -120);
    const drawn = await lastRedraw(page);
    assert.ok(drawn.includes('black rectangle with bounding box (-201,37) to (13,-120), filled'), drawn.join('\n'));
    await page.close();
}

// Scripts the desktop reads as bad: the same messages in the log panel, and the page goes on.
async function badScripts(browser, base) {
    const files = {
        'junk.scr': Buffer.from('ZEPHA_MOUSE(12, 3);\r\n\x01\x02garbage (((\r\nZEPHA_KBD(65);\r\n', 'latin1'),
        'nul.scr': Buffer.alloc(64 * 1024),
        'huge.scr': Buffer.concat([Buffer.from('ZEPHA_KBD(66);\r\n'), Buffer.alloc(20 * 1024 * 1024, 'Z')]),
    };
    const page = await open(browser, base, 'zepha_editor');
    for (const [name, bytes] of Object.entries(files)) {
        const file = path.join(work, name);
        fs.writeFileSync(file, bytes);
        const before = (await logLines(page)).length;
        await giveScript(page, file);
        await ctrl(page, 'P');
        await until(page, () => !zepha.scriptInUse(), 'the end of playback of ' + name);
        await sleep(300);
        const messages = (await logLines(page)).slice(before);
        assert.deepEqual(messages, nativeRun(file, false).log, name);
        await page.evaluate(() => { zepha.element('zepha-status').textContent = ''; });
    }
    // Still usable: the menu answers.
    await ctrl(page, 'L');
    await until(page, id => zepha.menuLines[id].classList.contains('checked'), 'Logging checked', IDM_LOGGING);
    assert.deepEqual(page.errors, []);
    await page.close();
}

// The runtime's test program as a page, its command line in the page's address: its output,
// the page's console, up to the line that ends it (and what follows within 200 ms).
async function runTestPage(browser, base, args, lastLine) {
    const page = await browser.newPage();
    const output = [];
    const ended = new Promise(resolve => page.on('console', message => {
        output.push(message.text());
        if (lastLine.test(message.text()))
            resolve();
    }));
    await page.goto(`${base}/zepha_api_test.html?` + args.map(arg => 'arg=' + encodeURIComponent(arg)).join('&'));
    await Promise.race([ended, sleep(30000)]);
    await sleep(200);
    await page.close();
    return output;
}

async function publicFunctions(browser) {
    const {server, base} = await serve(apiTests);
    try {
        const cases = (await runTestPage(browser, base, ['--gtest_list_tests'], /^  \w+$/))
            .filter(line => /^  \w+$/.test(line)).map(line => 'Api.' + line.trim());
        assert.ok(cases.length >= 4, 'the test cases: ' + cases.join(' '));
        const failed = [];
        for (const name of cases) {
            const output = await runTestPage(browser, base, ['--gtest_filter=' + name],
                                             /^\[  (PASSED|FAILED)  \]/);
            if (!output.some(line => line.startsWith('[  PASSED  ] 1 test')))
                failed.push(name + ':\n' + output.filter(line => !line.startsWith('[')).join('\n'));
        }
        assert.deepEqual(failed, []);
    } finally {
        server.kill();
    }
}

// ---- Main ----

const {server, base} = await serve(site);
const browser = await puppeteer.launch({
    executablePath: '/usr/bin/chromium',
    headless: true,
    userDataDir: path.join(work, 'profile'),
    args: ['--no-sandbox', '--disable-gpu', '--disable-background-networking',
           '--disable-component-update', '--disable-sync', '--no-first-run'],
});
let failed = 0;
const checks = [editorRecordDownloadReplay, menuAndShortcuts, dialog, crispAtAnyRatio, badScripts];
if (apiTests)
    checks.push(publicFunctions);
for (const check of checks) {
    try {
        await check(browser, base);
        console.log('PASS', check.name);
    } catch (error) {
        failed++;
        console.log('FAIL', check.name, '\n', error.message);
    }
}
await browser.close();
server.kill();
fs.rmSync(work, {recursive: true, force: true});
process.exit(failed > 0 ? 1 : 0);
