// Dumps every user table of an .mdb file as JSON through mdb-reader, a reader that shares no
// code with our reader or mdbtools:  node read-mdb.mjs FILE.mdb
import { readFileSync } from "node:fs";
import MDBReader from "mdb-reader";

const db = new MDBReader(readFileSync(process.argv[2]));
const out = {};
for (const name of db.getTableNames()) {
  const t = db.getTable(name);
  out[name] = {
    rowCount: t.rowCount,
    columns: t.getColumns().map((c) => ({ name: c.name, type: c.type, size: c.size })),
    rows: t.getData(),
  };
}
console.log(JSON.stringify(out, (k, v) => (typeof v === "bigint" ? String(v) : v)));
