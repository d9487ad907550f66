// The page: reads the files chosen, dropped or pasted, runs the verifier, shows its verdict,
// the charts of the verified dice and a search over the verified rolls. Player names are
// hostile: they only ever reach the page as textContent.
"use strict";

(() => {
  const $ = (id) => document.getElementById(id);
  const SHOWN_ROLLS = 500;
  let rolls = [];

  function show(result) {
    const report = $("report");
    report.textContent = result.report.join("\n");
    report.dataset.exit = String(result.status);
    $("verdict").textContent = result.status === 0 ? "Passed: every revealed roll checks out"
                                                   : "Failed: this record does not check out";
    $("result").dataset.outcome = result.status === 0 ? "passed" : "failed";
    $("result").hidden = false;
    rolls = result.verified;
    DiceCharts.render(rolls, $("charts"));
    $("dice").hidden = rolls.length === 0;
    search();
    $("verdict").focus();
  }

  async function check(sources) {
    delete $("report").dataset.exit;  // set again when this check is done
    $("busy").hidden = false;
    try {
      show(await RollAudit.verify(sources));
    } catch (error) {
      show({ status: 1, report: [`FAILED: ${error}`], verified: [] });
    } finally {
      $("busy").hidden = true;
    }
  }

  // Files are read in name order, as the audit files' names sort by day.
  async function checkFiles(files) {
    const sorted = [...files].sort((a, b) => (a.name < b.name ? -1 : a.name > b.name ? 1 : 0));
    const sources = [];
    for (const file of sorted) sources.push({ name: file.name, bytes: new Uint8Array(await file.arrayBuffer()) });
    $("sources").textContent = sorted.map((file) => file.name).join(", ");
    await check(sources);
  }

  function dice(groups) {
    return groups.map(([sides, values]) => `d${sides}: ${values.join(", ")}`).join("; ");
  }

  function search() {
    const wanted = $("search").value.trim().toLowerCase();
    const found = rolls.filter((roll) => !wanted ||
      (roll.name ?? "").toLowerCase().includes(wanted) || roll.time.toLowerCase().includes(wanted));
    const body = $("rolls").tBodies[0];
    body.replaceChildren();
    for (const roll of found.slice(0, SHOWN_ROLLS)) {
      const row = body.insertRow();
      for (const text of [roll.time, roll.name ?? "(no name)", `#${roll.n}`, dice(roll.groups), roll.where]) {
        row.insertCell().textContent = text;
      }
    }
    $("found").textContent = found.length > SHOWN_ROLLS
      ? `${found.length} rolls found, the first ${SHOWN_ROLLS} shown`
      : `${found.length} ${found.length === 1 ? "roll" : "rolls"} found`;
  }

  function start() {
    if (!window.crypto || !crypto.subtle) {
      $("no-crypto").hidden = false;
      for (const control of document.querySelectorAll("input, textarea, button")) control.disabled = true;
      return;
    }
    $("files").addEventListener("change", (event) => checkFiles(event.target.files));
    const zone = $("drop");
    zone.addEventListener("dragover", (event) => {
      event.preventDefault();
      zone.classList.add("over");
    });
    zone.addEventListener("dragleave", () => zone.classList.remove("over"));
    zone.addEventListener("drop", (event) => {
      event.preventDefault();
      zone.classList.remove("over");
      checkFiles(event.dataTransfer.files);
    });
    $("check-pasted").addEventListener("click", () => {
      $("sources").textContent = "pasted text";
      check([{ name: "pasted", bytes: new TextEncoder().encode($("pasted").value) }]);
    });
    $("search").addEventListener("input", search);
  }

  start();
})();
