// The page's side of the web platform, run before the program starts: the menu bar, the
// canvas, the log panel, the dialog and the script file's storage, and the input its handlers
// collect until the runtime's wait loop takes it (windows.cpp). The runtime reaches this code
// through the EM_JS functions of platform/web; the page's elements are in shell.html.

// A text of the runtime's 8-bit code, one character per byte; without a length, up to its NUL.
function latin1(pointer, length) {
    let text = '';
    for (let i = 0; length === undefined || i < length; i++) {
        const code = HEAPU8[pointer + i];
        if (length === undefined && code === 0)
            break;
        text += String.fromCharCode(code);
    }
    return text;
}

var zepha = {
    // Input in the order it arrived: [kind, a, b], kinds as in web_state.h.
    queue: [],
    // A tick has come since the wait loop last took one; ticks not yet taken are one tick.
    tick: false,
    ended: false,
    dialogOpen: false,
    ctrlDown: false, // as the runtime was last told
    wake: null, // ends the wait loop's sleep
    scriptFilePointer: 0, // the runtime's g_script_file: not 0 while the script is open
    scriptFolder: '/zepha',
    scriptName: 'ZEPHA.SCR',
    scriptSavedTime: 0,
    logLimit: 25,
    frames: 0, // pictures shown on the canvas

    element(id) { return document.getElementById(id); },

    push(kind, a, b) {
        if (this.ended)
            return;
        this.queue.push([kind, a | 0, b | 0]);
        this.wakeUp();
    },

    wakeUp() {
        const wake = this.wake;
        this.wake = null;
        if (wake)
            wake();
    },

    waitForInput() {
        this.saveScript();
        if (this.queue.length > 0 || this.tick)
            return Promise.resolve();
        return new Promise(resolve => { this.wake = resolve; });
    },

    // A turn of the browser without a timer's minimum delay.
    takeTurn() {
        if (!this.channel) {
            this.channel = new MessageChannel();
            this.channel.port1.onmessage = () => { const next = this.turnDone; this.turnDone = null; next(); };
        }
        return new Promise(resolve => {
            this.turnDone = resolve;
            this.channel.port2.postMessage(0);
        });
    },

    start(show, width, height, scriptFilePointer) {
        this.scriptFilePointer = scriptFilePointer;
        const canvas = this.element('zepha-canvas');
        canvas.width = width;
        canvas.height = height;
        this.canvas = canvas;
        this.context = canvas.getContext('2d');
        this.image = this.context.createImageData(width, height);
        this.fitCanvas();
        // Pointer events carry fractional positions, which a canvas shown at a device pixel ratio
        // such as 1.5 needs to reach each of its pixels; a touch is a click too.
        canvas.addEventListener('pointerdown', event => this.onPointerDown(event));
        canvas.addEventListener('contextmenu', event => event.preventDefault());
        document.addEventListener('keydown', event => this.onKeyDown(event));
        document.addEventListener('keyup', event => this.onKeyUp(event));
        document.addEventListener('mousedown', event => this.closeMenuOutside(event));
        setInterval(() => { this.tick = true; this.wakeUp(); }, 100);
        this.element('zepha-page').hidden = show === 0;
        canvas.focus();
    },

    // The canvas keeps its own pixels and shows each as a whole number of device pixels.
    fitCanvas() {
        const ratio = window.devicePixelRatio || 1;
        const scale = Math.max(1, Math.round(ratio));
        this.canvas.style.width = (this.canvas.width * scale / ratio) + 'px';
        this.canvas.style.height = (this.canvas.height * scale / ratio) + 'px';
        // The menu bar, the log panel and the script controls are as wide as the canvas.
        this.element('zepha-page').style.width = this.canvas.style.width;
        const query = matchMedia('(resolution: ' + ratio + 'dppx)');
        query.addEventListener('change', () => this.fitCanvas(), {once: true});
    },

    showPixels(pointer) {
        this.image.data.set(HEAPU8.subarray(pointer, pointer + this.image.data.length));
        this.context.putImageData(this.image, 0, 0);
        if (this.frames++ === 0)
            this.firstFrameTime = performance.now();
    },

    onPointerDown(event) {
        if (event.button !== 0 || this.ended || this.dialogOpen)
            return;
        event.preventDefault();
        this.canvas.focus();
        this.closeMenu();
        const box = this.canvas.getBoundingClientRect();
        const x = Math.floor((event.clientX - box.left) * this.canvas.width / box.width);
        const y = Math.floor((event.clientY - box.top) * this.canvas.height / box.height);
        this.push(0, x, y);
    },

    // A key as the Windows build sees it: Ctrl, a letter key (for the shortcuts), the character
    // it typed. Ctrl+letter is the program's, not the browser's (print, reload, the address bar).
    onKeyDown(event) {
        const letter = /^Key[A-Z]$/.test(event.code) ? event.code.charCodeAt(3) : 0;
        if (this.dialogOpen) {
            // The entry field keeps its editing keys; no other Ctrl key reaches the browser.
            if (event.ctrlKey && letter && !'ACVXYZ'.includes(String.fromCharCode(letter)))
                event.preventDefault();
            return;
        }
        if (event.ctrlKey && letter)
            event.preventDefault();
        // The page's own controls keep their keys.
        if (this.ended || event.target.tagName === 'INPUT' || event.target.tagName === 'BUTTON')
            return;
        // A Ctrl released where the page did not see it (in another tab, say) counts as released.
        if (this.ctrlDown && !event.ctrlKey)
            this.pushCtrl(false);
        if (event.key === 'Control') {
            this.pushCtrl(true);
            return;
        }
        if (event.key === 'Escape' && this.menuOpen) {
            this.closeMenu();
            return;
        }
        // With Alt held (AltGr included) a letter is no shortcut.
        if (letter && !event.altKey)
            this.push(2, letter);
        let character = -1;
        if (event.ctrlKey && letter)
            character = letter & 0x1F;
        else if (event.key.length === 1 && event.key.charCodeAt(0) < 0x100 && !event.altKey)
            character = event.key.charCodeAt(0);
        else
            character = {Enter: 13, Backspace: 8, Tab: 9, Escape: 27}[event.key] ?? -1;
        if (character >= 0) {
            event.preventDefault();
            this.push(3, character);
        }
    },

    onKeyUp(event) {
        if (event.key === 'Control' && !this.ended && !this.dialogOpen)
            this.pushCtrl(false);
    },

    pushCtrl(down) {
        this.ctrlDown = down;
        this.push(1, down ? 1 : 0);
    },

    // ---- The Run menu ----

    // A menu text's '&' underlines the next letter; "&&" is a '&'.
    mnemonicText(into, text) {
        for (let i = 0; i < text.length; i++) {
            if (text[i] === '&' && i + 1 < text.length && text[i + 1] !== '&') {
                const underlined = document.createElement('u');
                underlined.textContent = text[++i];
                into.append(underlined);
            } else {
                into.append(text[i] === '&' ? text[i++] : text[i]);
            }
        }
    },

    menuTitle(title) {
        const button = this.element('zepha-menu-title');
        this.mnemonicText(button, title);
        button.addEventListener('mousedown', event => {
            event.preventDefault();
            if (!this.ended && !this.dialogOpen)
                this.menuOpen ? this.closeMenu() : this.openMenu();
        });
        this.menuLines = {};
    },

    menuLine(kind, id, text, checkable, checked) {
        const list = this.element('zepha-menu-list');
        const line = document.createElement('li');
        if (kind === 2) {
            line.className = 'separator';
            list.append(line);
            return;
        }
        const tab = text.indexOf('\t');
        const mark = document.createElement('span');
        mark.className = 'mark';
        const label = document.createElement('span');
        label.className = 'label';
        this.mnemonicText(label, tab >= 0 ? text.slice(0, tab) : text);
        const shortcut = document.createElement('span');
        shortcut.className = 'shortcut';
        shortcut.textContent = tab >= 0 ? text.slice(tab + 1) : '';
        line.append(mark, label, shortcut);
        line.dataset.command = id;
        if (kind === 3) {
            line.className = 'info';
        } else {
            line.className = 'command';
            line.addEventListener('mouseup', () => {
                this.closeMenu();
                this.push(4, id);
            });
            if (checkable)
                this.menuLines[id] = line;
        }
        list.append(line);
        if (checkable)
            this.menuCheck(id, checked);
    },

    menuCheck(id, checked) {
        const line = this.menuLines[id];
        if (line) {
            line.classList.toggle('checked', checked);
            line.querySelector('.mark').textContent = checked ? '\u2713' : '';
        }
    },

    openMenu() {
        this.menuOpen = true;
        this.element('zepha-menu-list').hidden = false;
        this.element('zepha-menu-title').classList.add('open');
    },

    closeMenu() {
        this.menuOpen = false;
        this.element('zepha-menu-list').hidden = true;
        this.element('zepha-menu-title').classList.remove('open');
    },

    closeMenuOutside(event) {
        if (this.menuOpen && !this.element('zepha-menu').contains(event.target))
            this.closeMenu();
    },

    // ---- The log panel ----

    logStart(show, lines) {
        this.logLimit = lines;
        this.element('zepha-log').hidden = !show;
    },

    logLine(text) {
        const log = this.element('zepha-log');
        const line = document.createElement('div');
        line.textContent = text;
        log.append(line);
        while (log.childElementCount > this.logLimit)
            log.firstElementChild.remove();
    },

    logShow(show) {
        const log = this.element('zepha-log');
        const was = !log.hidden;
        log.hidden = !show;
        return was;
    },

    // ---- The dialog ----

    ask(prompt) {
        this.closeMenu();
        const dialog = this.element('zepha-dialog');
        const field = this.element('zepha-dialog-field');
        this.element('zepha-dialog-prompt').textContent = prompt;
        field.value = '';
        this.dialogOpen = true;
        dialog.hidden = false;
        field.focus();
        return new Promise(resolve => {
            const okay = () => {
                this.element('zepha-dialog-okay').onclick = null;
                field.onkeydown = null;
                dialog.hidden = true;
                this.dialogOpen = false;
                this.canvas.focus();
                resolve(field.value);
            };
            this.element('zepha-dialog-okay').onclick = okay;
            field.onkeydown = event => {
                if (event.key === 'Enter') {
                    event.preventDefault();
                    okay();
                }
            };
        });
    },

    // ---- The script file ----

    scriptPath() { return this.scriptFolder + '/' + this.scriptName; },

    scriptInUse() { return this.scriptFilePointer !== 0 && HEAP32[this.scriptFilePointer >> 2] !== 0; },

    // The working folder lives in the browser's storage: a script written there is saved when
    // the wait loop next sleeps, and is there again after a reload.
    saveScript(always) {
        let time = 0;
        try {
            time = FS.stat(this.scriptPath()).mtime.getTime();
        } catch (error) {
            return;
        }
        if (time !== this.scriptSavedTime || always) {
            this.scriptSavedTime = time;
            this.storeFolder();
        }
    },

    // One copy to the browser's storage at a time; one asked for meanwhile follows it.
    storeFolder() {
        if (this.storing) {
            this.storeAgain = true;
            return;
        }
        this.storing = true;
        FS.syncfs(false, () => {
            this.storing = false;
            if (this.storeAgain) {
                this.storeAgain = false;
                this.storeFolder();
            }
        });
    },

    status(text) { this.element('zepha-status').textContent = text; },

    downloadScript() {
        let bytes;
        try {
            bytes = FS.readFile(this.scriptPath());
        } catch (error) {
            this.status('There is no ' + this.scriptName + ' yet: record one first (Ctrl+R).');
            return;
        }
        const link = document.createElement('a');
        link.href = URL.createObjectURL(new Blob([bytes], {type: 'application/octet-stream'}));
        link.download = this.scriptName;
        document.body.append(link);
        link.click();
        link.remove();
        setTimeout(() => URL.revokeObjectURL(link.href), 10000);
    },

    // A file given to the page becomes the script to play, byte for byte.
    takeScript(file) {
        if (!file || this.ended)
            return;
        if (this.scriptInUse()) {
            this.status(this.scriptName + ' is open for recording or playback; stop that first.');
            return;
        }
        file.arrayBuffer().then(buffer => {
            FS.writeFile(this.scriptPath(), new Uint8Array(buffer));
            this.saveScript(true);
            this.status(this.scriptName + ' is now ' + file.name + ' (' + buffer.byteLength +
                        ' bytes): play it with Ctrl+P.');
        });
    },

    setUpScripts() {
        this.element('zepha-download').addEventListener('click', () => {
            this.downloadScript();
            this.canvas && this.canvas.focus();
        });
        const picker = this.element('zepha-script-picker');
        picker.addEventListener('change', () => {
            this.takeScript(picker.files[0]);
            picker.value = '';
            this.canvas && this.canvas.focus();
        });
        document.addEventListener('dragover', event => event.preventDefault());
        document.addEventListener('drop', event => {
            event.preventDefault();
            this.takeScript(event.dataTransfer.files[0]);
        });
    },

    // ---- The end ----

    end(text) {
        if (this.ended)
            return;
        this.ended = true;
        this.queue = [];
        this.closeMenu();
        this.saveScript(true);
        this.element('zepha-page').classList.add('ended');
        this.status(text);
    },
};

// The program's command line comes from the page's address: PROGRAM.html?arg=one&arg=two.
Module.arguments = Module.arguments || new URLSearchParams(location.search).getAll('arg');
Module.preRun = Module.preRun || [];
Module.preRun.push(() => {
    FS.mkdir(zepha.scriptFolder);
    FS.mount(IDBFS, {}, zepha.scriptFolder);
    FS.chdir(zepha.scriptFolder);
    addRunDependency('zepha-storage');
    FS.syncfs(true, () => removeRunDependency('zepha-storage'));
});
Module.onRuntimeInitialized = () => zepha.setUpScripts();
// exit() ends the program by throwing through the browser's callbacks; that is its end, not
// an error.
const ignoreExit = event => {
    if ((event.error || event.reason) instanceof ExitStatus)
        event.preventDefault();
};
window.addEventListener('error', ignoreExit);
window.addEventListener('unhandledrejection', ignoreExit);
Module.onExit = status => zepha.end('The program has ended (status ' + status + ').');
Module.onAbort = what => zepha.end('The program has stopped with an error: ' + what);
