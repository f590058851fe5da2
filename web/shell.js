// The page's side of the engine (appended to the engine's loader, so FS,
// IDBFS and callMain are in reach): the start page's choices, games opened
// from a folder or a .zip, the faces a player's game may need, the folders
// kept in IndexedDB, sound on the first gesture, full screen, and the hooks
// the browser test drives (window.tavelo).

(function () {
  'use strict';

  // Faces beyond IPAGothic (which the page always has), fetched before a
  // player's game starts; the demo needs none of them.
  const extraFaces = ['ipagp.ttf', 'ipam.ttf', 'ipamp.ttf'];

  let resolveReady;
  let resolveEnded;
  const ready = new Promise((resolve) => { resolveReady = resolve; });
  const ended = new Promise((resolve) => { resolveEnded = resolve; });
  let started = false;

  Module.onRuntimeInitialized = () => {
    Module.showProgress(1, 'Choose what to play.');
    document.getElementById('play-demo').disabled = false;
    resolveReady();
  };

  Module.onFirstFrame = () => { window.tavelo.firstFrameAt = performance.now(); };

  Module.onEngineEnd = (status) => {
    window.tavelo.endedAt = performance.now();
    window.tavelo.status = status;
    document.getElementById('ended').hidden = false;
    keepWrittenFiles();
    whenStored().then(() => resolveEnded(status));
  };

  function problem(text) {
    const shown = document.getElementById('problem');
    shown.textContent = text;
    shown.hidden = false;
    Module.showProgress(0, '');
  }

  // ---- lasting storage: saves (GAME/savedata) and settings (/config) live
  // in IndexedDB. The engine asks for a copy after every atomic write; one
  // copy runs at a time, and a request during one runs another after it.
  let copying = null;
  let copyAgain = false;

  function keepWrittenFiles() {
    if (copying) {
      copyAgain = true;
      return;
    }
    copying = new Promise((resolve) => {
      FS.syncfs(false, (error) => {
        if (error) console.error('tavelo: saving to IndexedDB failed', error);
        copying = null;
        resolve();
        if (copyAgain) {
          copyAgain = false;
          keepWrittenFiles();
        }
      });
    });
  }
  Module.keepWrittenFiles = keepWrittenFiles;

  async function whenStored() {
    while (copying) await copying;
  }

  function mountStorage(gameDirectory) {
    for (const folder of [gameDirectory + '/savedata', '/config']) {
      FS.mkdirTree(folder);
      FS.mount(IDBFS, {}, folder);
    }
    return new Promise((resolve, reject) => {
      FS.syncfs(true, (error) => (error ? reject(error) : resolve()));
    });
  }

  // ---- games of the player's own

  function writeTree(root, files) {
    // (No destructuring in for-of: the loader's minifier of this emscripten
    // version loses it.)
    for (const entry of files) {
      const full = root + '/' + entry[0];
      FS.mkdirTree(full.substring(0, full.lastIndexOf('/')));
      FS.writeFile(full, entry[1]);
    }
  }

  // A game's files sit at the top of what was opened, or inside one folder
  // there: the folder that holds tavelo.env is the game.
  function gameFiles(entries) {
    const isEnvironment = (name) => name.toLowerCase() === 'tavelo.env';
    if (entries.some(([path]) => isEnvironment(path))) return entries;
    const top = entries.length ? entries[0][0].split('/')[0] : '';
    if (top && entries.every(([path]) => path.startsWith(top + '/')) &&
        entries.some(([path]) => isEnvironment(path.substring(top.length + 1)))) {
      return entries.map(([path, data]) => [path.substring(top.length + 1), data]);
    }
    return entries;
  }

  function safePath(path) {
    const parts = path.split('/').filter((part) => part !== '' && part !== '.');
    if (parts.some((part) => part === '..') || path.startsWith('/')) return null;
    return parts.join('/');
  }

  function folderName(name) {
    return '/games/' + (name.replace(/\.zip$/i, '').replace(/[^A-Za-z0-9._-]/g, '_') || 'game');
  }

  // Reads a .zip archive (stored and deflated entries; no ZIP64) into
  // [path, bytes] pairs. Names are UTF-8 when the archive says so, else
  // Shift-JIS, as Japanese archivers write them.
  async function readZip(buffer) {
    const bytes = new Uint8Array(buffer);
    const view = new DataView(buffer);
    const fail = (why) => { throw new Error('not a .zip archive this page can read: ' + why); };
    let end = -1;
    for (let at = bytes.length - 22; at >= Math.max(0, bytes.length - 22 - 65535); --at) {
      if (view.getUint32(at, true) === 0x06054b50) {
        end = at;
        break;
      }
    }
    if (end < 0) fail('no end record');
    const count = view.getUint16(end + 10, true);
    let at = view.getUint32(end + 16, true);
    const entries = [];
    for (let i = 0; i < count; ++i) {
      if (at + 46 > bytes.length || view.getUint32(at, true) !== 0x02014b50) fail('a damaged directory');
      const flags = view.getUint16(at + 8, true);
      const method = view.getUint16(at + 10, true);
      const packedSize = view.getUint32(at + 20, true);
      const size = view.getUint32(at + 24, true);
      const nameLength = view.getUint16(at + 28, true);
      const otherLength = view.getUint16(at + 30, true) + view.getUint16(at + 32, true);
      const local = view.getUint32(at + 42, true);
      if (at + 46 + nameLength > bytes.length) fail('a damaged directory');
      const rawName = bytes.subarray(at + 46, at + 46 + nameLength);
      const name = new TextDecoder(flags & 0x800 ? 'utf-8' : 'shift_jis').decode(rawName).replace(/\\/g, '/');
      at += 46 + nameLength + otherLength;
      if (name.endsWith('/')) continue;
      const path = safePath(name);
      if (path === null) fail('an entry outside its folder: ' + name);
      if (packedSize === 0xffffffff || local + 30 > bytes.length || view.getUint32(local, true) !== 0x04034b50) {
        fail('a damaged entry: ' + name);
      }
      const start = local + 30 + view.getUint16(local + 26, true) + view.getUint16(local + 28, true);
      if (start + packedSize > bytes.length) fail('a cut entry: ' + name);
      const packed = bytes.subarray(start, start + packedSize);
      let data;
      if (method === 0) {
        data = packed.slice();
      } else if (method === 8) {
        const stream = new Blob([packed]).stream().pipeThrough(new DecompressionStream('deflate-raw'));
        data = new Uint8Array(await new Response(stream).arrayBuffer());
      } else {
        fail('an entry packed with method ' + method + ': ' + name);
      }
      if (data.length !== size) fail('a damaged entry: ' + name);
      entries.push([path, data]);
    }
    return entries;
  }

  async function fetchFaces() {
    for (let i = 0; i < extraFaces.length; ++i) {
      const face = extraFaces[i];
      if (FS.analyzePath('/fonts/' + face).exists) continue;
      Module.showProgress(i / extraFaces.length, 'Fetching the fonts…');
      const response = await fetch('fonts/' + face);
      if (!response.ok) continue;  // the engine falls back to IPAGothic
      FS.writeFile('/fonts/' + face, new Uint8Array(await response.arrayBuffer()));
    }
  }

  // game: 'demo', {zip: ArrayBuffer, name}, or {files: [[path, bytes]], name}.
  async function placeGame(game) {
    if (game === 'demo' || !game) return '/games/demo';
    const entries = game.zip ? await readZip(game.zip) : game.files;
    const directory = folderName(game.name || 'game');
    writeTree(directory, gameFiles(entries));
    await fetchFaces();
    return directory;
  }

  // ---- running

  // Browsers start sound only after the player did something on the page;
  // while the engine has nothing to play it keeps the sound suspended
  // (Module.tavelo_sound_wanted, set after every cycle).
  function resumeSoundOnGesture() {
    const resume = () => {
      Module.tavelo_gestured = true;
      const context = Module.SDL2 && Module.SDL2.audioContext;
      if (context && context.state === 'suspended' && Module.tavelo_sound_wanted !== false) context.resume();
    };
    for (const kind of ['pointerdown', 'keydown', 'touchend']) document.addEventListener(kind, resume, true);
  }

  // options.game as placeGame takes it; options.args: command-line words
  // before the game folder (--headless, --input FILE, --quit-after MS, ...);
  // options.files: {path: text or bytes} written first (replayed input).
  async function start(options) {
    if (started) throw new Error('the engine runs once per page');
    started = true;
    await ready;
    const directory = await placeGame(options.game);
    await mountStorage(directory);
    for (const path of Object.keys(options.files || {})) writeTree('', [[path.replace(/^\//, ''), options.files[path]]]);
    document.getElementById('start').hidden = true;
    document.getElementById('player').hidden = false;
    resumeSoundOnGesture();
    document.getElementById('canvas').focus();
    window.tavelo.startedAt = performance.now();
    Module.callMain((options.args || []).concat([directory]));
    return directory;
  }

  function chosen(promise) {
    promise.catch((error) => {
      started = false;
      document.getElementById('start').hidden = false;
      document.getElementById('player').hidden = true;
      problem(String(error.message || error));
    });
  }

  document.getElementById('play-demo').addEventListener('click', () => chosen(start({game: 'demo'})));
  document.getElementById('open-zip').addEventListener('change', (event) => {
    const file = event.target.files[0];
    if (!file) return;
    Module.showProgress(0, 'Reading ' + file.name + '…');
    chosen(file.arrayBuffer().then((zip) => start({game: {zip: zip, name: file.name}})));
  });
  document.getElementById('open-folder').addEventListener('change', (event) => {
    const list = Array.from(event.target.files);
    if (!list.length) return;
    const name = list[0].webkitRelativePath.split('/')[0];
    Module.showProgress(0, 'Reading ' + name + '…');
    chosen(Promise.all(list.map(async (file) => {
      const path = safePath(file.webkitRelativePath);
      return [path, new Uint8Array(await file.arrayBuffer())];
    })).then((files) => start({game: {files: files.filter(([path]) => path), name: name}})));
  });
  document.getElementById('full-screen').addEventListener('click', () => {
    document.getElementById('canvas').requestFullscreen().catch(() => {});
  });

  // ?play=demo starts the demo at once (a link straight into it).
  if (new URLSearchParams(location.search).get('play') === 'demo') chosen(start({game: 'demo'}));

  window.tavelo = {
    ready: ready,
    ended: ended,
    start: start,
    status: null,
    startedAt: 0,
    firstFrameAt: 0,
    endedAt: 0,
    stored: whenStored,
    readFile: (path) => FS.readFile(path),
    exists: (path) => FS.analyzePath(path).exists,
  };
})();
