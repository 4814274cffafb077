// An HL7 listener written by others, standing in for a site's HL7 engine: it answers
// one kind of reply to every query it can make out, on 127.0.0.1, until its standard
// input closes (or two minutes pass).
//   node mllp_peer.js strict|lenient ANSWER-FILE patient|AE|AR|NF
// strict: @medplum/hl7, which takes a message only when what arrived ends with FS CR.
// lenient: node-hl7-server, which takes what arrived up to its first FS CR.
// patient: the answer file's message; AE, AR: the library's own error or reject
// acknowledgement; NF: its accepting acknowledgement, which holds no patient.
// Prints "listening PORT" once it listens; "query" on stderr for each query it took.
'use strict';

const fs = require('fs');
const net = require('net');

const [library, answerFile, reply] = process.argv.slice(2);
const answer = fs.readFileSync(answerFile, 'latin1').replace(/\r+$/, '');
const ackCode = { AE: 'AE', AR: 'AR', NF: 'AA' }[reply];

function listening(port) {
  process.stdout.write(`listening ${port}\n`);
}

function lenient() {
  const { Server } = require('node-hl7-server');
  const server = new Server({ bindAddress: '127.0.0.1' });
  const inbound = server.createInbound({ port: 0 }, async (req, res) => {
    process.stderr.write('query\n');
    if (ackCode) return res.sendResponse(ackCode);
    // The library answers with acknowledgements it builds; a query's answer goes out
    // on the connection the query came in on, framed as the library frames its own.
    res._socket.write(Buffer.from(`\x0b${answer}\x1c\r`, 'latin1'));
  });
  inbound.on('listen', () => listening(inbound._socket.address().port));
  return () => inbound.close();
}

function strict() {
  const { Hl7Connection } = require('@medplum/hl7');
  const { Hl7Message } = require('@medplum/core');
  // The library's connection reads and frames the messages; the listening socket is
  // ours, so that it takes connections from this machine only.
  const server = net.createServer((socket) => {
    const connection = new Hl7Connection(socket, 'latin1');
    connection.addEventListener('message', ({ message }) => {
      process.stderr.write('query\n');
      connection.send(ackCode ? message.buildAck({ ackCode }) : Hl7Message.parse(answer));
    });
    connection.addEventListener('error', (event) => process.stderr.write(`error ${event.error}\n`));
  });
  server.listen(0, '127.0.0.1', () => listening(server.address().port));
  return () => server.close();
}

const stop = library === 'strict' ? strict() : lenient();
const end = () => {
  stop();
  process.exit(0);
};
process.stdin.on('end', end).resume();
setTimeout(end, 120000).unref();
