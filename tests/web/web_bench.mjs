// Figures of the web build, printed, never checked: run by scripts/bench-web.
//   node web_bench.mjs SITE_FOLDER NODE_MODULES_FOLDER PLAYBACK_SCRIPT
// - the editor's page with everything it loads, as served and compressed (gzip -9);
// - the time from the start of loading to the first picture on the canvas, from the local server;
// - playback speed in the page, in events per second;
// - main-thread time while the editor idles with the animation running, and halted.
import {spawn} from 'node:child_process';
import fs from 'node:fs';
import {createRequire} from 'node:module';
import os from 'node:os';
import path from 'node:path';
import zlib from 'node:zlib';

const [site, nodeModules, playbackScript] = process.argv.slice(2);
const puppeteer = createRequire(path.resolve(nodeModules, 'x.js'))('puppeteer-core');
const sleep = ms => new Promise(resolve => setTimeout(resolve, ms));
const work = fs.mkdtempSync(path.join(os.tmpdir(), 'zepha-web-bench-'));

const server = spawn('python3', ['-u', '-m', 'http.server', '0', '--bind', '127.0.0.1', '--directory', site],
                     {stdio: ['ignore', 'pipe', 'ignore']});
process.on('exit', () => server.kill());
const base = await new Promise(resolve => server.stdout.on('data', data => {
    const port = /port (\d+)/.exec(String(data));
    if (port)
        resolve(`http://127.0.0.1:${port[1]}`);
}));
const browser = await puppeteer.launch({
    executablePath: '/usr/bin/chromium', headless: true, userDataDir: path.join(work, 'profile'),
    args: ['--no-sandbox', '--disable-gpu', '--disable-background-networking',
           '--disable-component-update', '--disable-sync', '--no-first-run'],
});

async function openEditor() {
    const page = await browser.newPage();
    await page.goto(`${base}/zepha_editor.html`);
    await page.waitForFunction(() => typeof zepha === 'object' && zepha.frames > 0);
    return page;
}

async function ctrl(page, letter) {
    await page.keyboard.down('Control');
    await page.keyboard.press('Key' + letter);
    await page.keyboard.up('Control');
}

// Size
let raw = 0, compressed = 0;
for (const suffix of ['.html', '.js', '.wasm']) {
    const bytes = fs.readFileSync(path.join(site, 'zepha_editor' + suffix));
    raw += bytes.length;
    compressed += zlib.gzipSync(bytes, {level: 9}).length;
}
console.log(`editor page (html + js + wasm): ${(raw / 1024).toFixed(0)} KiB, ` +
            `${(compressed / 1024).toFixed(0)} KiB compressed (budget 1024)`);

// First picture, over five fresh loads
const firsts = [];
for (let i = 0; i < 5; i++) {
    const page = await openEditor();
    firsts.push(await page.evaluate(() => zepha.firstFrameTime));
    await page.close();
}
firsts.sort((a, b) => a - b);
console.log(`first picture after the start of loading: median ${firsts[2].toFixed(0)} ms ` +
            `(of ${firsts.map(t => t.toFixed(0)).join(', ')}; budget 1000)`);

// Playback speed
{
    const page = await openEditor();
    await (await page.$('#zepha-script-picker')).uploadFile(playbackScript);
    await page.waitForFunction(() => zepha.element('zepha-status').textContent.includes('is now'));
    await page.evaluate(() => {
        document.addEventListener('keydown', event => {
            if (event.ctrlKey && event.code === 'KeyP')
                window.playbackStart = performance.now();
        }, true);
        new MutationObserver(() => {
            if (zepha.element('zepha-log').textContent.includes('EOF encountered'))
                window.playbackEnd = window.playbackEnd || performance.now();
        }).observe(zepha.element('zepha-log'), {childList: true});
    });
    await ctrl(page, 'P');
    await page.waitForFunction(() => window.playbackEnd, {timeout: 120000});
    const seconds = await page.evaluate(() => (window.playbackEnd - window.playbackStart) / 1000);
    const events = (fs.readFileSync(playbackScript, 'latin1').match(/;\r\n/g) || []).length;
    console.log(`playback in the page: ${events} events in ${seconds.toFixed(2)} s, ` +
                `${(events / seconds).toFixed(0)} events/s (budget 1000)`);
    await page.close();
}

// Main-thread time while idle
async function busyShare(page, seconds) {
    const before = await page.metrics();
    await sleep(seconds * 1000);
    const after = await page.metrics();
    return (after.TaskDuration - before.TaskDuration) / (after.Timestamp - before.Timestamp) * 100;
}
{
    const page = await openEditor();
    await sleep(500);
    const running = await busyShare(page, 5);
    await ctrl(page, 'H');
    await sleep(300);
    const halted = await busyShare(page, 5);
    console.log(`editor idle, main thread busy: ${running.toFixed(2)}% of a core with the animation ` +
                `running, ${halted.toFixed(2)}% halted (budget 5%)`);
    await page.close();
}

await browser.close();
server.kill();
fs.rmSync(work, {recursive: true, force: true});
