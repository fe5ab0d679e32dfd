// Runs tandry on a scratch home and drives its browser page in Debian's
// Chromium through playwright-core (installed by `npm ci` into the build
// tree; see run.sh). Nothing here downloads a browser.
import { spawn } from 'node:child_process';
import { createRequire } from 'node:module';
import fs from 'node:fs';
import path from 'node:path';

const modules = process.env.BROWSER_MODULES;
if (!modules) throw new Error('BROWSER_MODULES must name the node_modules folder that npm ci filled');
const require = createRequire(path.join(modules, 'package.json'));
export const { chromium } = require('playwright-core');

export const TANDRY = process.env.TANDRY;
export const SCRATCH = process.env.BROWSER_SCRATCH;
export const USER = 'alice';
export const PASSWORD = 'browser-secret';

export const LAUNCH = {
  executablePath: '/usr/bin/chromium',
  args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-background-networking', '--disable-component-update',
    '--disable-sync', '--no-first-run'],
};

let counter = 0;

// Starts tandry on a fresh home. With `password` the server asks for Digest
// credentials; `guest` opens "/Public/" to everybody.
export async function startServer({ password = true, guest = false } = {}) {
  const dir = path.join(SCRATCH, `server-${process.pid}-${++counter}`);
  fs.rmSync(dir, { recursive: true, force: true });
  fs.mkdirSync(dir, { recursive: true });
  const home = path.join(dir, 'home');
  const args = ['--home', home, '-VKPortNumber', '0', '-VKRemoteGuestAccess', guest ? 'YES' : 'NO'];
  if (password) {
    const file = path.join(dir, 'password');
    fs.writeFileSync(file, `${PASSWORD}\n`, { mode: 0o600 });
    args.push('-VKLoginUsername', USER, '--password-file', file);
  }
  const log = fs.openSync(path.join(dir, 'server.log'), 'w');
  const child = spawn(TANDRY, args, { stdio: ['ignore', 'pipe', log] });
  const base = await new Promise((resolve, reject) => {
    let out = '';
    const timer = setTimeout(() => reject(new Error(`tandry did not start: ${readLog(dir)}`)), 30000);
    child.stdout.on('data', (chunk) => {
      out += chunk;
      const found = out.match(/http:\/\/[^\s]*?:(\d+)\//);
      if (found) {
        clearTimeout(timer);
        resolve(`http://127.0.0.1:${found[1]}`);
      }
    });
    child.on('exit', (code) => {
      clearTimeout(timer);
      reject(new Error(`tandry ended with ${code} before serving: ${readLog(dir)}`));
    });
  });
  child.stdout.resume();
  return {
    base,
    home,
    documents: path.join(home, 'Library', 'Documents'),
    publicFolder: path.join(home, 'Documents'),
    // Ends the server and fails on a sanitizer report in its log.
    async stop() {
      if (child.exitCode === null) {
        const ended = new Promise((resolve) => child.on('exit', resolve));
        child.kill('SIGTERM');
        await ended;
      }
      const log = fs.readFileSync(path.join(dir, 'server.log'), 'utf8');
      if (/ERROR: (Address|Leak)Sanitizer|runtime error:/.test(log)) throw new Error(`sanitizer report from tandry:\n${log.slice(-4000)}`);
    },
  };
}

function readLog(dir) {
  try {
    return fs.readFileSync(path.join(dir, 'server.log'), 'utf8').slice(-2000);
  } catch {
    return '';
  }
}

// A page that records what should never happen on it: dialogs, console
// errors, failed requests and error answers (other than the Digest
// challenge the browser answers itself).
export async function watchedPage(context) {
  const page = await context.newPage();
  const problems = [];
  page.on('dialog', async (dialog) => {
    problems.push(`dialog: ${dialog.message()}`);
    await dialog.dismiss();
  });
  page.on('console', (message) => {
    if (message.type() === 'error') problems.push(`console: ${message.text()}`);
  });
  page.on('pageerror', (error) => problems.push(`page error: ${error.message}`));
  page.on('requestfailed', (request) => {
    // A download ends its navigation request on purpose.
    if (request.failure()?.errorText !== 'net::ERR_ABORTED') problems.push(`failed: ${request.url()} ${request.failure()?.errorText}`);
  });
  page.on('response', (response) => {
    if (response.status() >= 400 && response.status() !== 401) problems.push(`answer ${response.status()}: ${response.url()}`);
  });
  return { page, problems };
}

export function setModified(file, secondsAgo) {
  const when = new Date(Date.now() - secondsAgo * 1000);
  fs.utimesSync(file, when, when);
}
