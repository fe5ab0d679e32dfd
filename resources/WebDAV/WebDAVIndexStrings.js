// The page's English texts, in one place so that a translation replaces
// this file alone.
'use strict';
window.vkStrings = Object.freeze({
  download: 'Download',
  downloadSelected: 'Download selected',
  selectAll: 'Select all',
  emptyFolder: 'This folder is empty.',
  listFailed: 'The list could not be loaded.',
  chooseFile: 'Choose a file first.',
  uploading: 'Uploading {name}\u2026',
  uploadDone: 'Uploaded {count} file(s).',
  uploadFailed: 'Upload of {name} failed: {reason}',
  networkError: 'the connection was lost',
  bytes: 'B',
  kilobytes: 'KB',
  megabytes: 'MB',
  gigabytes: 'GB',
});
