var fromResource = 'core';
