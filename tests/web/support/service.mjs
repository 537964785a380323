// The real SDuvane on its fixed port, on simulated hardware: a private pcscd
// with the simulated reader holding the demo card (sim-pcscd), and the
// identity-card simulation with the demo holder.
import { spawn, execFileSync } from "node:child_process";
import { mkdtempSync, rmSync } from "node:fs";
import { connect } from "node:net";
import { tmpdir } from "node:os";
import { join } from "node:path";

export const SERVICE_PORT = 10240;

const binFolder = () => {
  const folder = process.env.DUVANE_BIN_DIR;
  if (!folder) throw new Error("DUVANE_BIN_DIR must name the build's bin folder");
  return folder;
};

function collectOutput(child) {
  let output = "";
  child.stdout.on("data", (chunk) => (output += chunk));
  child.stderr.on("data", (chunk) => (output += chunk));
  return () => output;
}

async function waitFor(condition, timeoutMs, what) {
  const deadline = Date.now() + timeoutMs;
  while (Date.now() < deadline) {
    if (await condition()) return;
    await new Promise((r) => setTimeout(r, 50));
  }
  throw new Error(`timed out waiting for ${what}`);
}

function accepts(port) {
  return new Promise((resolve) => {
    const socket = connect({ host: "127.0.0.1", port }, () => {
      socket.destroy();
      resolve(true);
    });
    socket.on("error", () => resolve(false));
  });
}

function stopChild(child) {
  if (child.exitCode !== null || child.signalCode !== null) return Promise.resolve();
  return new Promise((resolve) => {
    const killer = setTimeout(() => child.kill("SIGKILL"), 10000);
    child.once("exit", () => {
      clearTimeout(killer);
      resolve();
    });
    child.kill("SIGTERM");
  });
}

export class SimulatedHardware {
  static async start(sourceFolder) {
    const folder = mkdtempSync(join(tmpdir(), "duvane-web-"));
    const socketPath = join(folder, "pcscd.comm");
    const child = spawn(join(binFolder(), "sim-pcscd"), ["--socket", socketPath]);
    const output = collectOutput(child);
    const hardware = new SimulatedHardware(folder, child, socketPath, sourceFolder);
    try {
      await waitFor(() => /^SIMREADER_STATE=/m.test(output()), 15000, "the simulated reader");
    } catch (error) {
      await hardware.stop();
      throw new Error(`${error.message}:\n${output()}`);
    }
    hardware.statePath = /^SIMREADER_STATE=(.*)$/m.exec(output())[1];
    return hardware;
  }

  constructor(folder, child, socketPath, sourceFolder) {
    this.folder = folder;
    this.child = child;
    this.socketPath = socketPath;
    this.holderFile = join(sourceFolder, "standin/zetidcard/demo/holder.txt");
  }

  // Puts the demo card into the reader's field or takes it out, under the
  // reader's lock and by replacing the state file whole, as the driver expects.
  setCardPresent(present) {
    const script = 'sed -E "s/^card [01]$/card $2/" "$1" > "$1.new" && mv "$1.new" "$1"';
    execFileSync("flock", [
      `${this.statePath}.lock`,
      "sh",
      "-c",
      script,
      "sh",
      this.statePath,
      present ? "1" : "0",
    ]);
  }

  async stop() {
    await stopChild(this.child);
    rmSync(this.folder, { recursive: true, force: true });
  }
}

export class Service {
  static async start(hardware) {
    const child = spawn(join(binFolder(), "SDuvane"), [], {
      env: {
        ...process.env,
        PCSCLITE_CSOCK_NAME: hardware.socketPath,
        ZETIDCARD_SIM: hardware.holderFile,
      },
    });
    const output = collectOutput(child);
    const service = new Service(child);
    try {
      await waitFor(() => accepts(SERVICE_PORT), 15000, "SDuvane on port 10240");
    } catch (error) {
      await service.stop();
      throw new Error(`${error.message}:\n${output()}`);
    }
    return service;
  }

  constructor(child) {
    this.child = child;
  }

  async stop() {
    await stopChild(this.child);
  }
}
