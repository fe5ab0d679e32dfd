// Small helpers the page's scripts share: cookies, names from URIs, byte
// counts, text substitution and JSON requests.
'use strict';
window.vkutil = (() => {
  // The first cookie of that name (the browser lists the one of the longest
  // path first), as stored, or null.
  function cookie(name) {
    for (const part of document.cookie.split(';')) {
      const trimmed = part.trim();
      if (trimmed.startsWith(name + '=')) return trimmed.slice(name.length + 1);
    }
    return null;
  }

  function setCookie(name, value) {
    document.cookie = `${name}=${value}; path=/; max-age=31536000; SameSite=Lax`;
  }

  function decode(text) {
    try {
      return decodeURIComponent(text);
    } catch (error) {
      return text;
    }
  }

  // The display name of an escaped URI path ("/a/b%20c/" gives "b c").
  function nameFromURI(uri) {
    const trimmed = uri.endsWith('/') ? uri.slice(0, -1) : uri;
    return decode(trimmed.slice(trimmed.lastIndexOf('/') + 1));
  }

  function format(template, values) {
    return template.replace(/\{(\w+)\}/g, (match, key) => (key in values ? String(values[key]) : match));
  }

  // The server's own size texts: "102 B", "0.1 KB", "1023 KB", "1.5 MB",
  // "1.50 GB", and "0 KB" for nothing.
  function formatBytes(bytes) {
    const s = window.vkStrings;
    const strip = (text, zeros) => (text.endsWith(zeros) ? text.slice(0, -zeros.length) : text);
    if (bytes === 0) return `0 ${s.kilobytes}`;
    if (bytes <= 102) return `${bytes} ${s.bytes}`;
    if (bytes < 1024) return `${strip((bytes / 1024).toFixed(1), '.0')} ${s.kilobytes}`;
    if (bytes < 1024 * 1024) return `${Math.floor(bytes / 1024)} ${s.kilobytes}`;
    if (bytes < 1024 * 1024 * 1024) return `${strip((bytes / 1048576).toFixed(1), '.0')} ${s.megabytes}`;
    return `${strip((bytes / 1073741824).toFixed(2), '.00')} ${s.gigabytes}`;
  }

  async function getJSON(url) {
    const response = await fetch(url, { credentials: 'same-origin', cache: 'no-store' });
    if (!response.ok) throw new Error(`${response.status} ${response.statusText}`);
    return response.json();
  }

  function element(tag, className, text) {
    const node = document.createElement(tag);
    if (className) node.className = className;
    if (text !== undefined) node.textContent = text;
    return node;
  }

  return Object.freeze({ cookie, setCookie, decode, nameFromURI, format, formatBytes, getJSON, element });
})();
