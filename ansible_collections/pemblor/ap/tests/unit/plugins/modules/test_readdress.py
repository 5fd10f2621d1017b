# -*- coding: utf-8 -*-
# Copyright 2026 The Pemblor developers. See COPYING.

from __future__ import absolute_import, division, print_function
__metaclass__ = type

import json

import pytest

from ansible_collections.pemblor.ap.plugins.modules import readdress
from ansible_collections.pemblor.ap.tests.unit.plugins.modules.fakectl import PASSWORD

MACS = ['02:00:00:00:00:01', '02:00:00:00:00:02', '02:00:00:00:00:03']


class FakeFleet:
    """pemblorctl plan and apply: results maps a MAC to the outcome apply gives it."""

    def __init__(self, results=None, plan_rc=0, apply_rc=None):
        self.results = results or {}
        self.plan_rc = plan_rc
        self.apply_rc = apply_rc
        self.plan_file = None

    def __call__(self, args):
        if args[0] == 'plan':
            if self.plan_rc:
                return self.plan_rc, '', 'Not enough addresses from 198.18.255.254 for 3 devices.\n'
            start = int(args[args.index('--from') + 1].rsplit('.', 1)[1])
            macs = [a for a in args if a.count(':') == 5]
            rows = [dict(mac=m, ip='198.18.2.%d' % (start + i), netmask='255.255.255.0', gateway=None, dhcp=False)
                    for i, m in enumerate(macs)]
            return 0, ''.join(json.dumps(r) + '\n' for r in rows), ''
        assert args[0] == 'apply'
        with open(args[1]) as plan_file:
            self.plan_file = plan_file.read()
        lines = []
        bad = False
        for row in self.plan_file.splitlines()[1:]:
            mac, ip = row.split(',')[:2]
            result = self.results.get(mac, 'would-change' if '--dry-run' in args else
                                      'verified' if '--reboot' in args else 'stored')
            record = dict(mac=mac, result=result, ip=ip, before=None, after=None)
            if result not in ('verified', 'stored', 'unchanged', 'would-change'):
                record['message'] = 'Authentication Error!'
                bad = True
            lines.append(json.dumps(record) + '\n')
        rc = self.apply_rc if self.apply_rc is not None else (8 if bad else 0)
        return rc, ''.join(lines), 'progress\n'


def params(**extra):
    base = dict(macs=[m.lower() for m in MACS], start='198.18.2.10', netmask='255.255.255.0', dhcp=False,
                user='admin', password=PASSWORD)
    base.update(extra)
    return base


def assert_password_hidden(calls, out, check_mode=False):
    for command in calls.commands:
        assert PASSWORD not in ' '.join(command['args'])
    assert [c['data'] for c in calls.commands] == [None, None if check_mode else PASSWORD + '\n']
    assert PASSWORD not in out and '********' not in out


@pytest.mark.parametrize('check_mode, reboot, flag, result', [
    (False, True, '--reboot', 'verified'),
    (False, False, None, 'stored'),
    (True, True, '--dry-run', 'would-change'),
])
def test_plan_then_apply(run_module, check_mode, reboot, flag, result):
    fleet = FakeFleet()
    res, calls, out = run_module(readdress.main, params(reboot=reboot), fleet, check_mode=check_mode)
    assert calls.verbs() == ['plan', 'apply']
    assert calls.args(0) == ['plan', '--from', '198.18.2.10', '--netmask', '255.255.255.0', '--dhcp', 'off',
                             '--timeout', '5', '--format', 'json'] + MACS
    apply_args = calls.args(1)
    assert apply_args[2:6] == ['--user', 'admin', '--password-stdin', '--timeout']
    assert ('--dry-run' in apply_args) is check_mode
    assert ('--reboot' in apply_args) is reboot
    if flag:
        assert flag in apply_args
    assert fleet.plan_file == ('mac,ip,netmask,gateway,dhcp\n'
                               '02:00:00:00:00:01,198.18.2.10,255.255.255.0,,off\n'
                               '02:00:00:00:00:02,198.18.2.11,255.255.255.0,,off\n'
                               '02:00:00:00:00:03,198.18.2.12,255.255.255.0,,off\n')
    assert res['changed'] is True
    assert [d['result'] for d in res['devices']] == [result] * 3
    assert [r['ip'] for r in res['plan']] == ['198.18.2.10', '198.18.2.11', '198.18.2.12']
    assert res['failed_devices'] == []
    assert_password_hidden(calls, out, check_mode)


@pytest.mark.parametrize('unicast_only', [False, True])
def test_unicast_only_is_passed_on_to_apply(run_module, unicast_only):
    res, calls, out = run_module(readdress.main, params(unicast_only=unicast_only), FakeFleet())
    assert ('--unicast-only' in calls.args(0)) is False
    assert ('--unicast-only' in calls.args(1)) is unicast_only
    assert res['failed_devices'] == []
    assert_password_hidden(calls, out)


def test_a_device_held_back_by_unicast_only_fails_the_task_naming_it(run_module):
    fleet = FakeFleet(results={MACS[1]: 'needs-broadcast'})
    res, calls, out = run_module(readdress.main, params(unicast_only=True), fleet)
    assert res['failed'] is True
    assert res['failed_devices'] == [MACS[1]]
    assert res['msg'].startswith('1 of 3 devices did not end verified, stored or unchanged: %s (needs-broadcast'
                                 % MACS[1])
    assert [d['result'] for d in res['devices']] == ['stored', 'needs-broadcast', 'stored']


def test_all_unchanged_is_no_change(run_module):
    res, calls, out = run_module(readdress.main, params(), FakeFleet(results=dict.fromkeys(MACS, 'unchanged')))
    assert res['changed'] is False
    assert 'failed' not in res


def test_devices_outside_the_good_results_are_listed(run_module):
    fleet = FakeFleet(results={MACS[0]: 'verified', MACS[1]: 'authentication-error', MACS[2]: 'not-verified'})
    res, calls, out = run_module(readdress.main, params(reboot=True), fleet)
    assert res['failed'] is True
    assert res['changed'] is True
    assert res['failed_devices'] == MACS[1:]
    assert res['msg'].startswith('2 of 3 devices did not end verified, stored or unchanged: ')
    assert '%s (authentication-error: Authentication Error!)' % MACS[1] in res['msg']
    assert MACS[2] in res['msg'] and MACS[0] not in res['msg']
    assert_password_hidden(calls, out)


@pytest.mark.parametrize('results, changed', [
    # Accepted the change, then not seen where planned: it was changed.
    ({MACS[0]: 'not-verified', MACS[1]: 'unchanged', MACS[2]: 'unchanged'}, True),
    # Refused, timed out, never found: nothing was changed.
    ({MACS[0]: 'authentication-error', MACS[1]: 'timeout', MACS[2]: 'not-found'}, False),
])
def test_changed_when_any_device_took_its_change(run_module, results, changed):
    res, calls, out = run_module(readdress.main, params(reboot=True), FakeFleet(results=results))
    assert res['failed'] is True
    assert res['changed'] is changed


def test_changed_values_count_whatever_the_result(run_module):
    """A device whose values differ after the run took a change, whatever its
    result says (a reboot refused after the change was stored)."""
    def ctl(args):
        rc, out, err = FakeFleet(results=dict.fromkeys(MACS, 'authentication-error'))(args)
        if args[0] == 'apply':
            records = [json.loads(line) for line in out.splitlines()]
            records[0]['before'] = dict(ip='198.19.250.1')
            records[0]['after'] = dict(ip='198.18.2.10')
            out = ''.join(json.dumps(r) + '\n' for r in records)
        return rc, out, err
    res, calls, out = run_module(readdress.main, params(reboot=True), ctl)
    assert res['changed'] is True


def test_device_without_outcome_fails(run_module):
    def ctl(args):
        rc, out, err = FakeFleet()(args)
        if args[0] == 'apply':
            out = out.splitlines(True)[0]
        return rc, out, err
    res, calls, out = run_module(readdress.main, params(), ctl)
    assert res['failed_devices'] == MACS[1:]


@pytest.mark.parametrize('fleet, command, rc', [
    (FakeFleet(plan_rc=1), 'plan', 1),
    (FakeFleet(apply_rc=5), 'apply', 5),
])
def test_tool_failures_name_the_devices(run_module, fleet, command, rc):
    res, calls, out = run_module(readdress.main, params(), fleet)
    assert res['failed'] is True
    assert res['msg'].startswith(', '.join(MACS) + ': ')
    assert 'pemblorctl %s exit status %d' % (command, rc) in res['msg']


def test_a_device_listed_twice_is_refused(run_module):
    res, calls, out = run_module(readdress.main, params(macs=[MACS[0], MACS[0].lower()]), FakeFleet())
    assert res['failed'] is True
    assert calls.commands == []
