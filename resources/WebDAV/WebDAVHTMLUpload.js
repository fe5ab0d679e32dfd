// Uploads from the page: each chosen file goes as a multipart POST (field
// "vk_upload_filename") to the folder's URL, one after another, with
// progress; the list is reloaded afterwards. Behind a password the page
// carries the "vksessionid" cookie, whose token lets the POST through
// without a Digest challenge, so a large body is never sent twice.
'use strict';
(() => {
  const util = window.vkutil;
  const strings = window.vkStrings;
  const collection = window.vkcollection || { URI: location.pathname };
  const form = document.getElementById('upload-form');
  const input = document.getElementById('upload-file');
  const button = document.getElementById('upload-button');
  const progress = document.getElementById('upload-progress');
  const bar = document.getElementById('upload-bar');
  const status = document.getElementById('upload-status');
  const message = document.getElementById('upload-message');
  if (!form || !input) return;

  // The upload token of this folder's cookie: its value unescaped and cut
  // before "&timeout=".
  function sessionToken() {
    const raw = util.cookie('vksessionid');
    if (!raw) return null;
    const value = util.decode(raw);
    const end = value.indexOf('&timeout=');
    const token = end < 0 ? value : value.slice(0, end);
    return token || null;
  }

  function target() {
    const token = sessionToken();
    return token ? { url: `${collection.URI}?vksessionid=${encodeURIComponent(token)}`, token } : { url: collection.URI, token: null };
  }

  function uploadOne(file) {
    return new Promise((resolve, reject) => {
      const { url, token } = target();
      const body = new FormData();
      body.append('vk_upload_filename', file, file.name);
      const request = new XMLHttpRequest();
      request.open('POST', url);
      if (token) request.setRequestHeader('X-Flash-Version', '1');
      request.upload.addEventListener('progress', (event) => {
        if (event.lengthComputable && bar) bar.value = Math.round((event.loaded / event.total) * 100);
      });
      request.addEventListener('load', () => {
        if (request.status === 200) resolve();
        else reject(new Error(request.responseText.trim() || `${request.status}`));
      });
      request.addEventListener('error', () => reject(new Error(strings.networkError)));
      request.addEventListener('abort', () => reject(new Error(strings.networkError)));
      request.send(body);
    });
  }

  async function uploadAll() {
    const files = [...input.files];
    if (!files.length) {
      message.textContent = strings.chooseFile;
      return;
    }
    button.disabled = true;
    input.disabled = true;
    progress.hidden = false;
    let done = 0;
    try {
      for (const file of files) {
        if (bar) bar.value = 0;
        status.textContent = util.format(strings.uploading, { name: file.name });
        try {
          await uploadOne(file);
          done += 1;
        } catch (error) {
          message.textContent = util.format(strings.uploadFailed, { name: file.name, reason: error.message });
          return;
        }
      }
      message.textContent = util.format(strings.uploadDone, { count: done });
    } finally {
      progress.hidden = true;
      input.disabled = false;
      input.value = '';
      button.disabled = true;
      if (done && window.vkIndex) await window.vkIndex.refresh();
      form.dispatchEvent(new CustomEvent('vkuploaddone', { detail: { uploaded: done } }));
    }
  }

  input.addEventListener('change', () => {
    button.disabled = input.files.length === 0;
    message.textContent = '';
  });
  form.addEventListener('submit', (event) => {
    event.preventDefault();
    uploadAll();
  });
})();
