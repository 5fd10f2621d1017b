# -*- coding: utf-8 -*-
# Copyright 2026 The Pemblor developers. See COPYING.
"""Runs pemblorctl for the pemblor.ap modules and reads its answers.

Every call pins the C locale, so the tool's messages and the JSON it prints do
not depend on the site host's language. A password is only ever written to the
tool's standard input (``--password-stdin``); it never appears on a command
line, so neither ``ps`` nor a failure message can show it.
"""

from __future__ import absolute_import, division, print_function
__metaclass__ = type

import ipaddress
import json

from ansible.module_utils.common.text.converters import to_text

C_LOCALE = {'LC_ALL': 'C', 'LANG': 'C', 'LANGUAGE': 'C'}

SETTINGS = ('ip', 'netmask', 'gateway', 'dhcp')

# What each of pemblorctl's exit statuses means; the numbers are its contract.
EXIT_MEANINGS = {
    1: 'bad arguments or settings',
    2: 'no device answered (the device was not found)',
    3: 'the device refused the user name or password',
    4: 'the device did not answer in time, or was not seen back as it should be after its reboot',
    5: 'UDP port 21212 is in use on this host (Pemblor or another pemblorctl is running)',
    6: 'network failure',
    7: 'the device answered with another result',
    8: 'some devices did not end verified, stored or unchanged',
    9: 'the password would have been sent by broadcast, which unicast_only forbids',
}


def argument_spec(own=None, credentials=False, change=False):
    """A module's options: its own and the shared ones: timeout
    always; user, password and unicast_only with credentials; netmask,
    gateway, dhcp and reboot with change. Each module's DOCUMENTATION
    describes them all."""
    options = dict(own or {})
    if change:
        options.update(netmask=dict(type='str'), gateway=dict(type='str'), dhcp=dict(type='bool'))
    if credentials:
        options.update(user=dict(type='str', required=True), password=dict(type='str', required=True, no_log=True),
                       unicast_only=dict(type='bool', default=False))
    if change:
        options.update(reboot=dict(type='bool', default=False))
    options.update(timeout=dict(type='int', default=5))
    return options


# Outcomes after which a device is where it was asked to be.
GOOD_RESULTS = ('verified', 'stored', 'unchanged')
# Results of a device that took its change, whether or not it then came back
# where it should.
CHANGED_RESULTS = ('verified', 'stored', 'would-change', 'not-verified', 'reboot-not-sent')


class PemblorctlError(Exception):
    """A pemblorctl run that did not end as asked; str() is the whole message."""

    def __init__(self, message, rc=None, outcome=None, stderr=''):
        super(PemblorctlError, self).__init__(message)
        self.rc = rc
        self.outcome = outcome
        self.stderr = stderr


# The outcome name of a one-device command that printed none.
EXIT_RESULTS = {1: 'invalid', 2: 'not-found', 3: 'authentication-error', 4: 'timeout', 7: 'unknown-result',
                9: 'needs-broadcast'}


def credential_arguments(params):
    """The options that carry the credentials' terms: the user name, the
    password on standard input, and --unicast-only when asked."""
    args = ['--user', params['user'], '--password-stdin']
    if params.get('unicast_only'):
        args.append('--unicast-only')
    return args


def result_name(rc):
    return EXIT_RESULTS.get(rc, 'failed')


def exit_meaning(rc):
    if rc in EXIT_MEANINGS:
        return EXIT_MEANINGS[rc]
    if rc is not None and rc < 0:
        return 'ended by signal %d' % -rc
    return 'unexpected exit status'


def last_line(text):
    """The last non-empty line of text: pemblorctl's message follows its progress lines."""
    lines = [line.strip() for line in to_text(text or '').splitlines() if line.strip()]
    return lines[-1] if lines else ''


def parse_json_lines(text, what):
    """One JSON object a line, blank lines skipped."""
    objects = []
    for line in to_text(text or '').splitlines():
        line = line.strip()
        if not line:
            continue
        try:
            value = json.loads(line)
        except ValueError:
            raise PemblorctlError('%s printed a line that is not JSON: %s' % (what, line))
        if not isinstance(value, dict):
            raise PemblorctlError('%s printed JSON that is not an object: %s' % (what, line))
        objects.append(value)
    return objects


def failure_message(device, command, rc, stderr, outcome=None, situation=None):
    """The text a failed task shows: the device first, then what went wrong
    (situation, when the caller knows more than the tool), then the tool's own
    words and the meaning of its exit status.

    The tool's words come from the outcome's ``message`` (JSON output) or from
    the last line it wrote to standard error, so "Authentication Error!" and
    the MAC stay side by side.
    """
    tool_text = ''
    if outcome and outcome.get('message'):
        tool_text = to_text(outcome['message'])
    if not tool_text:
        tool_text = last_line(stderr)
    meaning = exit_meaning(rc)
    words = [part for part in (situation, tool_text) if part] or [meaning]
    return '%s: %s (pemblorctl %s exit status %s: %s)' % (device, '; '.join(words), command, rc, meaning)


def canonical(value):
    """IPv4 addresses compare in their usual dotted form; text that is no
    address compares as given, so the tool gets to refuse it."""
    if isinstance(value, bool) or value is None:
        return value
    text = to_text(value).strip()
    try:
        return str(ipaddress.IPv4Address(text))
    except ValueError:
        return text


def settings_of(record):
    """ip, netmask, gateway and dhcp of an outcome's before/after object, or of a
    flat record (where the setting is ``ip_addr`` and ``ip`` the sender)."""
    if not isinstance(record, dict):
        return None
    ip = record.get('ip_addr', record.get('ip'))
    dhcp = record.get('dhcp')
    if isinstance(dhcp, str):
        dhcp = dhcp.strip().lower() in ('on', 'true', '1', 'yes')
    return {'ip': ip, 'netmask': record.get('netmask'), 'gateway': record.get('gateway'), 'dhcp': dhcp}


def current_settings(outcome):
    """What ``show --format json`` read: its ``before``, else the flat record."""
    if 'before' in outcome:
        return settings_of(outcome.get('before'))
    return settings_of(outcome)


def differences(desired, current):
    """The desired settings that differ from the current ones; None means
    "leave as it is" and is never a difference."""
    changes = {}
    for key in SETTINGS:
        want = desired.get(key)
        if want is None:
            continue
        have = (current or {}).get(key)
        if key == 'dhcp':
            if have is None or bool(have) != bool(want):
                changes[key] = bool(want)
        elif canonical(want) != canonical(have):
            changes[key] = to_text(want).strip()
    return changes


def setting_arguments(changes):
    args = []
    for key in ('ip', 'netmask', 'gateway'):
        if key in changes:
            args += ['--' + key, changes[key]]
    if 'dhcp' in changes:
        args += ['--dhcp', 'on' if changes['dhcp'] else 'off']
    return args


class Pemblorctl:
    """pemblorctl on this host, run through the module."""

    def __init__(self, module):
        self.module = module
        self.binary = module.get_bin_path('pemblorctl', required=True)

    def run(self, args, password=None):
        """(rc, stdout, stderr) of pemblorctl ARGS; password, when given, on stdin."""
        cmd = [self.binary] + [to_text(a) for a in args]
        if password is not None:
            return self.module.run_command(cmd, data=to_text(password) + '\n', binary_data=True,
                                           environ_update=C_LOCALE)
        return self.module.run_command(cmd, environ_update=C_LOCALE)

    def objects(self, who, command, args, password=None, ok_codes=(0,)):
        """Runs a command with --format json; the objects it printed, or
        PemblorctlError naming who (the devices, or this host)."""
        rc, out, err = self.run(args, password)
        if rc not in ok_codes:
            raise PemblorctlError(failure_message(who, command, rc, err), rc, None, err)
        return parse_json_lines(out, 'pemblorctl %s' % command)

    def outcome(self, device, command, args, password=None, ok_codes=(0,)):
        """Runs a one-device command with --format json; its outcome object, or
        PemblorctlError naming the device."""
        rc, out, err = self.run(args, password)
        try:
            objects = parse_json_lines(out, 'pemblorctl %s' % command)
        except PemblorctlError:
            if rc in ok_codes:
                raise
            objects = []
        outcome = objects[-1] if objects else None
        if rc not in ok_codes:
            raise PemblorctlError(failure_message(device, command, rc, err, outcome), rc, outcome, err)
        if outcome is None:
            raise PemblorctlError('%s: pemblorctl %s printed no result' % (device, command), rc, None, err)
        return outcome
