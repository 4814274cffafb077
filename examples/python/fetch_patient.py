#!/usr/bin/env python3
"""Fetches one patient over TCP/IP through the Python binding and prints who it is.

    fetch_patient.py HOST PORT PATIENT_ID

Exit status: 0 found, 1 not found, 2 usage error.
"""
import sys

import trellybridge


def main(argv: list[str]) -> int:
    if len(argv) != 4:
        print(f"usage: {argv[0]} HOST PORT PATIENT_ID", file=sys.stderr)
        return 2
    host, port, patient_id = argv[1:]
    patient = trellybridge.get_patient(
        PatientID=patient_id, NetworkBridgeType="TCPIP", TCPRemoteHostName=host,
        TCPRemotePorts=port, VendorFormatType="HL7", VendorRequestTag="<%DYNAMIC%>",
        EOFCharacter="28", EOLCharacter="13", AllowedRetries="2", DisplayProperties="false",
        SerialTimeout="2", TimeDelay="200")
    if not patient.found:
        print("not found")
        for error in patient.errors:
            print(f"error {error.code}: {error.message}")
        return 1
    for name in ("p1PatientLastName", "p1PatientFirstName", "p1PatientDOB", "i1InsuredCompanyName"):
        if patient[name]:
            print(f"{name}: {patient[name]}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
