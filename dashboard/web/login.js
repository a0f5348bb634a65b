'use strict';
// Only puts the cursor in the field: the form posts by itself.
document.getElementById('token').focus();
