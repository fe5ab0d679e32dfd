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

  function formatBytes(bytes) {
    const s = window.vkStrings;
    if (bytes < 1024) return `${bytes} ${s.bytes}`;
    const units = [s.kilobytes, s.megabytes, s.gigabytes];
    let value = bytes / 1024;
    let unit = 0;
    while (value >= 1024 && unit < units.length - 1) {
      value /= 1024;
      unit += 1;
    }
    const digits = unit === 2 ? 2 : 1;
    const text = value.toFixed(digits).replace(/\.0+$/, '');
    return `${text} ${units[unit]}`;
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
