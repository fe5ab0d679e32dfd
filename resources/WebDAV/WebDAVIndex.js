// The folder listing: sorting (kept in the "vksortorder" cookie, which the
// server reads too), select-all, and download buttons. Rows re-rendered from
// the "?json=1" listing are built from text nodes only.
'use strict';
(() => {
  const ICON_FOLDER = '/DA389A64-AF85-460A-81DE-379A17AC6314';
  const ICON_FILE = '/85AEFEF7-ABF5-4199-84FF-C694D6E47DC2';
  const ICON_ASCENDING = '/D52A0C4C-AB72-4105-9AD1-77E0FD6B18CE';
  const ICON_DESCENDING = '/2992B5F4-7E37-491B-A1E8-726FA23DCC00';
  // The first click on a column: names A to Z, the largest and newest first.
  const FIRST_DIRECTION = { name: true, size: false, date: false };

  const util = window.vkutil;
  const strings = window.vkStrings;
  const collection = window.vkcollection || { URI: location.pathname };
  const rows = document.getElementById('rows');
  const selectAll = document.getElementById('select-all');
  const downloadSelected = document.getElementById('download-selected');

  function readSortOrder() {
    const raw = util.cookie('vksortorder');
    if (raw) {
      try {
        const value = JSON.parse(util.decode(raw));
        if (['name', 'size', 'date'].includes(value.key) && typeof value.ascending === 'boolean') return value;
      } catch (error) {
        // A damaged cookie falls back to the default order, as on the server.
      }
    }
    return { key: 'name', ascending: true };
  }

  let order = readSortOrder();

  function showSortOrder() {
    for (const header of document.querySelectorAll('th.sortable')) {
      const active = header.dataset.key === order.key;
      header.classList.toggle('sorted', active);
      header.setAttribute('aria-sort', active ? (order.ascending ? 'ascending' : 'descending') : 'none');
      const indicator = header.querySelector('.sort-indicator');
      if (!indicator) continue;
      if (active) indicator.src = order.ascending ? ICON_ASCENDING : ICON_DESCENDING;
      else indicator.removeAttribute('src');
      indicator.hidden = !active;
    }
  }

  function downloadURL(link) {
    return `${link.getAttribute('href')}?download=1`;
  }

  function startDownload(link) {
    const anchor = document.createElement('a');
    anchor.href = downloadURL(link);
    anchor.download = link.querySelector('.filename').textContent;
    document.body.appendChild(anchor);
    anchor.click();
    anchor.remove();
  }

  function addDownloadButton(cell) {
    if (cell.querySelector('button')) return;
    const button = util.element('button', 'download-button');
    button.type = 'button';
    button.title = strings.download;
    button.setAttribute('aria-label', strings.download);
    button.addEventListener('click', () => {
      const link = cell.parentElement.querySelector('td.name a');
      if (link) startDownload(link);
    });
    cell.appendChild(button);
  }

  function decorateRows() {
    for (const cell of rows.querySelectorAll('td.download')) addDownloadButton(cell);
    updateSelection();
  }

  function rowForEntry(entry) {
    const row = util.element('tr');
    const check = util.element('td');
    const box = util.element('input');
    box.type = 'checkbox';
    check.appendChild(box);

    const nameCell = util.element('td', 'name');
    const link = util.element('a');
    link.setAttribute('collection', entry.isCollection ? 'yes' : 'no');
    link.setAttribute('href', entry.uri);
    const icon = util.element('img');
    icon.src = entry.isCollection ? ICON_FOLDER : ICON_FILE;
    link.appendChild(icon);
    link.appendChild(util.element('span', 'filename', util.nameFromURI(entry.uri)));
    nameCell.appendChild(link);

    const size = util.element('td', 'size', entry.isCollection ? '' : util.formatBytes(entry.size));
    const download = util.element('td', entry.isCollection ? '' : 'download');
    const date = util.element('td', 'date', entry.dateString);
    row.append(check, nameCell, size, download, date);
    return row;
  }

  function render(entries) {
    rows.replaceChildren(...entries.map(rowForEntry));
    decorateRows();
    const note = document.getElementById('empty-note');
    if (note) {
      note.textContent = strings.emptyFolder;
      note.hidden = entries.length > 0;
    }
  }

  async function refresh() {
    try {
      render(await util.getJSON(`${collection.URI}?json=1`));
    } catch (error) {
      const note = document.getElementById('empty-note');
      if (note) {
        note.textContent = strings.listFailed;
        note.hidden = false;
      }
    }
  }

  function sortBy(key) {
    order = key === order.key ? { key, ascending: !order.ascending } : { key, ascending: FIRST_DIRECTION[key] };
    util.setCookie('vksortorder', encodeURIComponent(JSON.stringify(order)));
    showSortOrder();
    return refresh();
  }

  function rowBoxes() {
    return [...rows.querySelectorAll('input[type=checkbox]')];
  }

  function updateSelection() {
    const boxes = rowBoxes();
    const checked = boxes.filter((box) => box.checked);
    if (selectAll) {
      selectAll.checked = boxes.length > 0 && checked.length === boxes.length;
      selectAll.indeterminate = checked.length > 0 && checked.length < boxes.length;
    }
    if (downloadSelected) {
      downloadSelected.disabled = !checked.some((box) => box.closest('tr').querySelector('td.download'));
    }
  }

  for (const header of document.querySelectorAll('th.sortable')) {
    header.addEventListener('click', () => sortBy(header.dataset.key));
    header.addEventListener('keydown', (event) => {
      if (event.key === 'Enter' || event.key === ' ') {
        event.preventDefault();
        sortBy(header.dataset.key);
      }
    });
  }
  if (selectAll) {
    selectAll.addEventListener('change', () => {
      for (const box of rowBoxes()) box.checked = selectAll.checked;
      updateSelection();
    });
  }
  rows.addEventListener('change', updateSelection);
  if (downloadSelected) {
    downloadSelected.textContent = strings.downloadSelected;
    downloadSelected.addEventListener('click', () => {
      for (const box of rowBoxes()) {
        const row = box.closest('tr');
        if (box.checked && row.querySelector('td.download')) startDownload(row.querySelector('td.name a'));
      }
    });
  }

  if (collection.productName) {
    const parts = util.decode(collection.URI).split('/').filter(Boolean);
    document.title = parts.length ? `${parts[parts.length - 1]} - ${collection.productName}` : collection.productName;
  }
  showSortOrder();
  decorateRows();

  window.vkIndex = Object.freeze({ refresh, sortBy, order: () => ({ ...order }) });
})();
