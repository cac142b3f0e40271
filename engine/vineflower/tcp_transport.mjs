// The service's transport where the platform gives programs no Unix-domain sockets (Windows):
// a TCP socket on the loopback address at a port the system chooses, the same handshake as the
// Java service's (Transport.Tcp in engine/service) and Jad.exe's client (engine/win32).
//
// Any user of the machine can reach that port, so every connection starts with a handshake that
// only this user can pass. The port file, in the user's private folder (files created there take
// its access rules: the user's alone), holds
//   "<port>\n<secret>\n<proof>\n<process id>\n"   (ASCII; secret and proof 64 hex digits each).
// A client first sends the secret; the service answers with the proof, so that a client never
// takes another program that has come to hold the port of a service that ended for its
// service. Then the request and the answers follow as over the Unix-domain socket.
//
// Handshakes are read as their bytes arrive: a connection that sends nothing holds up no
// other, and one that has not sent the whole secret within the limit, or sends another, is
// closed unanswered. A connection reaches the service only once it has passed.
import crypto from "node:crypto";
import fs from "node:fs";
import net from "node:net";

// The endpoint argument that names a port file: "tcp:<port file>".
export const TCP_PREFIX = "tcp:";
export const HANDSHAKE_LIMIT_MS = 10_000;
const SECRET_SIZE = 64;

// The port file an endpoint argument names, or null when it names a Unix-domain socket.
export function tcpPortFile(endpoint) {
  return endpoint.startsWith(TCP_PREFIX) ? endpoint.slice(TCP_PREFIX.length) : null;
}

// Reads the secret from a new connection and hands the connection, the proof sent and any
// bytes after the secret still unread, to serve.
function handshake(client, secret, proof, limitMillis, serve) {
  let given = Buffer.alloc(0);
  const limit = setTimeout(() => client.destroy(), limitMillis);
  const ended = () => {
    clearTimeout(limit);
    client.destroy();
  };
  const onData = (chunk) => {
    given = Buffer.concat([given, chunk]);
    if (given.length < SECRET_SIZE) return;
    clearTimeout(limit);
    client.off("data", onData);
    client.off("end", ended);
    client.pause();
    if (!crypto.timingSafeEqual(given.subarray(0, SECRET_SIZE), secret)) {
      client.destroy();
      return;
    }
    const rest = given.subarray(SECRET_SIZE);
    if (rest.length > 0) client.unshift(rest);
    client.write(proof);
    serve(client);
    client.resume();
  };
  client.on("error", () => {});
  client.on("data", onData);
  client.on("end", ended);
}

// Listens on the loopback address, then publishes the port file under a private name renamed
// over the final one, so that a client reads either the old file or the whole new one. serve
// receives each connection that passed its handshake. Returns { port, close() }; close removes
// the port file only while it is still this service's (a newer service may have been started
// over a port file it took for dead) and stops listening.
export async function listenTcp(portFile, serve, { handshakeLimitMillis = HANDSHAKE_LIMIT_MS } = {}) {
  const secretText = crypto.randomBytes(32).toString("hex");
  const proofText = crypto.randomBytes(32).toString("hex");
  const secret = Buffer.from(secretText, "latin1");
  const proof = Buffer.from(proofText, "latin1");
  const server = net.createServer({ allowHalfOpen: true }, (client) =>
    handshake(client, secret, proof, handshakeLimitMillis, serve));
  await new Promise((resolve, reject) => {
    server.once("error", reject);
    server.listen({ host: "127.0.0.1", port: 0, backlog: 16 }, () => {
      server.off("error", reject);
      resolve();
    });
  });
  const { port } = server.address();
  const contents = Buffer.from(`${port}\n${secretText}\n${proofText}\n${process.pid}\n`, "latin1");
  const temp = `${portFile}.${process.pid}`;
  try {
    fs.writeFileSync(temp, contents);
    fs.renameSync(temp, portFile);
  } catch (error) {
    fs.rmSync(temp, { force: true });
    server.close();
    throw error;
  }
  return {
    port,
    close() {
      try {
        if (fs.readFileSync(portFile).equals(contents)) fs.rmSync(portFile, { force: true });
      } catch {
        // Already gone.
      }
      server.close();
    },
  };
}
