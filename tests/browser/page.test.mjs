// The browser page in Chromium: start page, listing, sorting, downloads,
// hostile names, guest access and uploads, against a real tandry.
import { after, before, describe, test } from 'node:test';
import assert from 'node:assert/strict';
import crypto from 'node:crypto';
import fs from 'node:fs';
import path from 'node:path';

import { chromium, LAUNCH, PASSWORD, SCRATCH, USER, setModified, startServer, watchedPage } from './support.mjs';

let browser;
let server;

function newContext(credentials = true) {
  return browser.newContext({
    acceptDownloads: true,
    ...(credentials ? { httpCredentials: { username: USER, password: PASSWORD } } : {}),
  });
}

async function rowNames(page) {
  return page.$$eval('#rows span.filename', (spans) => spans.map((span) => span.textContent));
}

before(async () => {
  browser = await chromium.launch(LAUNCH);
  server = await startServer();
  const docs = server.documents;
  fs.writeFileSync(path.join(docs, 'a b.txt'), 'hello from a b\n');
  fs.writeFileSync(path.join(docs, 'é.pdf'), '%PDF-1.4\n%%EOF\n');
  fs.mkdirSync(path.join(docs, 'Folder'));
  fs.mkdirSync(path.join(docs, 'Essay.rtfd'));
  fs.writeFileSync(path.join(docs, 'Essay.rtfd', 'TXT.rtf'), '{\\rtf1 hi}');
  setModified(path.join(docs, 'é.pdf'), 4000);
  setModified(path.join(docs, 'Folder'), 3000);
  setModified(path.join(docs, 'Essay.rtfd'), 2000);
  setModified(path.join(docs, 'a b.txt'), 10);
});

after(async () => {
  await browser?.close();
  await server?.stop();
});

describe('the browser page', () => {
  test('the start page shows Documents and Public', async () => {
    const context = await newContext();
    const { page, problems } = await watchedPage(context);
    const answer = await page.goto(`${server.base}/`);
    assert.equal(answer.status(), 200);
    assert.match(await page.title(), /^Tandry - /);
    assert.equal(await page.textContent('#documents-folder'), 'Documents');
    assert.equal(await page.textContent('#public-folder'), 'Public');
    assert.equal(await page.getAttribute('#documents-folder', 'href'), '/Documents/');
    assert.equal(await page.$eval('#public-folder img', (img) => img.naturalWidth), 128);
    await page.click('#documents-folder');
    await page.waitForURL(`${server.base}/Documents/`);
    assert.deepEqual(problems, []);
    await context.close();
  });

  test('a folder lists its files, folders and packages', async () => {
    const context = await newContext();
    const { page, problems } = await watchedPage(context);
    await page.goto(`${server.base}/Documents/`);
    assert.deepEqual(await rowNames(page), ['Folder', 'a b.txt', 'é.pdf', 'Essay.rtfd']);
    assert.equal(await page.getAttribute('a[href="/Documents/Folder/"]', 'collection'), 'yes');
    assert.equal(await page.getAttribute('a[href="/Documents/Essay.rtfd/"]', 'collection'), 'no');
    assert.equal(await page.locator('td.download button').count(), 3);
    assert.equal(await page.$eval('#title', (title) => title.textContent), 'Tandry/Documents');
    await page.click('a[href="/Documents/Folder/"]');
    await page.waitForURL(`${server.base}/Documents/Folder/`);
    assert.deepEqual(await rowNames(page), []);
    assert.deepEqual(problems, []);
    await context.close();
  });

  test('the date header sorts newest first and the order survives a reload', async () => {
    const context = await newContext();
    const { page, problems } = await watchedPage(context);
    await page.goto(`${server.base}/Documents/`);
    // Rows the scripts rebuild from the JSON listing match the server's.
    const rowsHTML = () => page.$eval('#rows', (rows) => rows.innerHTML.replaceAll('\n', ''));
    const served = await rowsHTML();
    for (let i = 0; i < 2; i += 1) {
      await Promise.all([page.waitForResponse((r) => r.url().endsWith('?json=1')), page.click('th.name')]);
    }
    assert.equal(await rowsHTML(), served);
    await Promise.all([page.waitForResponse((r) => r.url().endsWith('?json=1')), page.click('th.date')]);
    await page.waitForFunction(() => document.querySelector('#rows span.filename')?.textContent === 'a b.txt');
    const newestFirst = ['a b.txt', 'Essay.rtfd', 'Folder', 'é.pdf'];
    assert.deepEqual(await rowNames(page), newestFirst);
    const cookie = (await context.cookies()).find((c) => c.name === 'vksortorder');
    assert.ok(cookie, 'the sort cookie is set');
    assert.deepEqual(JSON.parse(decodeURIComponent(cookie.value)), { key: 'date', ascending: false });
    await page.reload();
    assert.deepEqual(await rowNames(page), newestFirst);
    assert.equal(await page.getAttribute('th.date', 'aria-sort'), 'descending');
    // Rows rebuilt from the listing keep the download buttons.
    assert.equal(await page.locator('td.download button').count(), 3);
    assert.deepEqual(problems, []);
    await context.close();
  });

  test('a download button yields the file with its name', async () => {
    const context = await newContext();
    const { page, problems } = await watchedPage(context);
    await page.goto(`${server.base}/Documents/`);
    const row = page.locator('#rows tr', { has: page.locator('span.filename', { hasText: 'a b.txt' }) });
    const [download] = await Promise.all([page.waitForEvent('download'), row.locator('td.download button').click()]);
    assert.equal(download.suggestedFilename(), 'a b.txt');
    const saved = await download.path();
    assert.deepEqual(fs.readFileSync(saved), fs.readFileSync(path.join(server.documents, 'a b.txt')));
    assert.deepEqual(problems, []);
    await context.close();
  });

  test('hostile names show as text', async () => {
    const docs = server.documents;
    const hostile = `<img src=x onerror=alert(1)>"'.txt`;
    fs.writeFileSync(path.join(docs, hostile), 'x');
    // A name cannot hold "/": "</script>x" is the folder "<" with "script>x".
    fs.mkdirSync(path.join(docs, '<'));
    fs.writeFileSync(path.join(docs, '<', 'script>x'), 'y');
    fs.writeFileSync(path.join(docs, '<', '<script>alert(2)<b>'), 'z');
    try {
      const context = await newContext();
      const { page, problems } = await watchedPage(context);
      await page.goto(`${server.base}/Documents/`);
      assert.ok((await rowNames(page)).includes(hostile));
      assert.equal(await page.locator('#rows img[src="x"]').count(), 0);
      // Re-rendered from the JSON listing, the names stay text too.
      await Promise.all([page.waitForResponse((r) => r.url().endsWith('?json=1')), page.click('th.name')]);
      assert.ok((await rowNames(page)).includes(hostile));

      await page.goto(`${server.base}/Documents/%3C/`);
      assert.deepEqual((await rowNames(page)).sort(), ['<script>alert(2)<b>', 'script>x']);
      assert.equal(await page.$eval('#title', (title) => title.textContent), 'Tandry/Documents/<');
      assert.equal(await page.evaluate(() => window.vkcollection.URI), '/Documents/%3C/');
      assert.deepEqual(problems, []);
      await context.close();
    } finally {
      fs.rmSync(path.join(docs, hostile));
      fs.rmSync(path.join(docs, '<'), { recursive: true });
    }
  });

  test('a file chosen on the page uploads, appears in the list and on disk', async () => {
    const context = await newContext();
    const { page, problems } = await watchedPage(context);
    await page.goto(`${server.base}/Documents/Folder/`);
    const bytes = crypto.randomBytes(200000);
    const source = path.join(SCRATCH, `upload-${process.pid}.bin`);
    fs.writeFileSync(source, bytes);
    await page.setInputFiles('#upload-file', source);
    await page.click('#upload-button');
    await page.waitForFunction((name) => [...document.querySelectorAll('#rows span.filename')].some((s) => s.textContent === name),
      path.basename(source));
    assert.deepEqual(fs.readFileSync(path.join(server.documents, 'Folder', path.basename(source))), bytes);
    fs.rmSync(source);
    assert.deepEqual(problems, []);
    await context.close();
  });
});

describe('the uploader', () => {
  // The form the page sends, caught before it leaves the browser: with the
  // folder's upload token the POST carries it and "X-Flash-Version", so no
  // Digest challenge makes the body go twice; without one it is plain.
  test('posts the chosen file as "vk_upload_filename" to the folder', async () => {
    const context = await newContext();
    const { page, problems } = await watchedPage(context);
    const posts = [];
    await page.route('**/Documents/Folder/**', async (route) => {
      const request = route.request();
      if (request.method() !== 'POST') return route.fallback();
      posts.push({ url: request.url(), headers: await request.allHeaders(), body: request.postDataBuffer() });
      return route.fulfill({ status: 200, contentType: 'text/plain', body: '200 Success\r\n' });
    });
    const source = path.join(SCRATCH, 'form "part".txt');
    fs.writeFileSync(source, 'line one\r\n--not a boundary\r\n');
    for (const withToken of [true, false]) {
      await page.goto(`${server.base}/Documents/Folder/`);
      // Behind a password the page comes with the folder's upload token.
      const cookie = (await context.cookies()).find((c) => c.name === 'vksessionid' && c.value);
      if (!withToken) {
        // What an open folder's answer leaves: the cookie emptied.
        await page.evaluate(() => { document.cookie = 'vksessionid=; path=/Documents/Folder'; });
      }
      const token = withToken ? decodeURIComponent(cookie.value).split('&timeout=')[0] : null;
      await page.setInputFiles('#upload-file', source);
      await Promise.all([
        page.evaluate(() => new Promise((resolve) => document.getElementById('upload-form').addEventListener('vkuploaddone', resolve, { once: true }))),
        page.click('#upload-button'),
      ]);
      const post = posts.at(-1);
      assert.ok(post, 'the page posted');
      if (token) {
        assert.match(token, /^[0-9a-z]+$/);
        assert.equal(post.url, `${server.base}/Documents/Folder/?vksessionid=${token}`);
        assert.ok(post.headers['x-flash-version']);
      } else {
        assert.equal(post.url, `${server.base}/Documents/Folder/`);
        assert.equal(post.headers['x-flash-version'], undefined);
      }
      const boundary = post.headers['content-type'].match(/boundary=(.+)$/)[1];
      const body = post.body.toString('latin1');
      assert.ok(body.startsWith(`--${boundary}\r\n`));
      assert.match(body, /Content-Disposition: form-data; name="vk_upload_filename"; filename="form %22part%22.txt"\r\n/);
      // (The browser hands intercepted forms over without the file's bytes;
      // the upload test against the server compares those.)
      assert.ok(body.endsWith(`\r\n--${boundary}--\r\n`));
      assert.match(await page.textContent('#upload-message'), /Uploaded 1 file/);
    }
    fs.rmSync(source);
    assert.deepEqual(problems, []);
    await context.close();
  });
});

describe('guest access', () => {
  test('"/Public/" loads without credentials', async () => {
    const guestServer = await startServer({ password: true, guest: true });
    try {
      fs.writeFileSync(path.join(guestServer.publicFolder, 'shared.txt'), 'for everybody');
      const context = await newContext(false);
      const { page, problems } = await watchedPage(context);
      const answer = await page.goto(`${guestServer.base}/Public/`);
      assert.equal(answer.status(), 200);
      assert.deepEqual(await rowNames(page), ['shared.txt']);
      assert.deepEqual(problems, []);
      // The private folder still asks (a page without credentials would
      // fail its navigation outright, so ask by plain request).
      const privateAnswer = await context.request.get(`${guestServer.base}/Documents/`);
      assert.equal(privateAnswer.status(), 401);
      await context.close();
    } finally {
      await guestServer.stop();
    }
  });
});
