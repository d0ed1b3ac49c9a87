#!/bin/sh
# Installs the npm package mdb-reader beside read-mdb.mjs, for the cross-check of the Jet4 writer
# (tst_jet4_writer runs it when Node.js and this package are present).
set -e
cd "$(dirname "$0")"
npm install --no-save --no-package-lock --prefix . mdb-reader@3.2.0
