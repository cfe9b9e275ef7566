// CPU time of one process (all its threads, not its children), from /proc.
'use strict';

const {execFileSync} = require('child_process');
const fs = require('fs');

const TICKS_PER_S = Number(execFileSync('getconf', ['CLK_TCK']).toString());

// User + system time of `pid` so far, s.
function cpuSeconds(pid) {
  const stat = fs.readFileSync('/proc/' + pid + '/stat', 'utf8');
  // The fields after the command name, which may hold spaces, in parentheses.
  const fields = stat.slice(stat.lastIndexOf(')') + 2).split(' ');
  return (Number(fields[11]) + Number(fields[12])) / TICKS_PER_S;  // utime, stime
}

// % of one core that `pid` used while `during` ran.
async function cpuPercent(pid, during) {
  const cpu = cpuSeconds(pid);
  const began = process.hrtime.bigint();
  await during();
  const wallS = Number(process.hrtime.bigint() - began) / 1e9;
  return 100 * (cpuSeconds(pid) - cpu) / wallS;
}

module.exports = {cpuPercent};
