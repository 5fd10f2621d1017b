# -*- coding: utf-8 -*-
# Copyright 2026 The Pemblor developers. See COPYING.

from __future__ import absolute_import, division, print_function
__metaclass__ = type

import json

import pytest

from ansible_collections.pemblor.ap.plugins.modules import device_address
from ansible_collections.pemblor.ap.plugins.module_utils.pemblorctl import differences

from ansible_collections.pemblor.ap.tests.unit.plugins.modules.fakectl import MAC, PASSWORD, FakeDevice

CURRENT = dict(ip='198.18.1.20', netmask='255.255.0.0', gateway='198.18.0.254', dhcp=False)
# pemblorctl's reason when --unicast-only held the password back.
OUTSIDE = ("%s is outside this computer's networks: its password would be broadcast to every host on eth1. "
           "Run without --unicast-only to send it anyway." % MAC)


def params(**extra):
    base = dict(mac=MAC.lower(), user='admin', password=PASSWORD)
    base.update(extra)
    return base


def assert_password_hidden(calls, out):
    for command in calls.commands:
        assert PASSWORD not in ' '.join(command['args'])
        assert command['data'] in (None, PASSWORD + '\n')
        if command['data'] is not None:
            assert '--password-stdin' in command['args']
            assert command['binary_data']
    assert PASSWORD not in out
    # A masked copy in the output would mean the module put it there.
    assert '********' not in out


@pytest.mark.parametrize('desired, changes', [
    (dict(), {}),
    (dict(ip='198.18.1.20'), {}),
    (dict(ip=' 198.18.1.20 ', netmask='255.255.0.0', gateway='198.18.0.254', dhcp=False), {}),
    (dict(ip='198.18.1.77'), dict(ip='198.18.1.77')),
    (dict(ip='198.18.1.20', gateway='198.18.0.1'), dict(gateway='198.18.0.1')),
    (dict(dhcp=True), dict(dhcp=True)),
    (dict(netmask='255.255.255.0', dhcp=False), dict(netmask='255.255.255.0')),
    # Text that is no address is never taken as equal: the tool refuses it.
    (dict(ip='198.18.1.020'), dict(ip='198.18.1.020')),
    (dict(ip='not an address'), dict(ip='not an address')),
])
def test_only_given_options_that_differ_are_changes(desired, changes):
    full = dict(ip=None, netmask=None, gateway=None, dhcp=None)
    full.update(desired)
    assert differences(full, CURRENT) == changes


def test_unknown_current_dhcp_is_a_difference():
    assert differences(dict(dhcp=False), dict(CURRENT, dhcp=None)) == dict(dhcp=False)


@pytest.mark.parametrize('check_mode', [False, True])
def test_nothing_differs_sends_nothing(run_module, check_mode):
    result, calls, out = run_module(device_address.main, params(ip='198.18.1.20', dhcp=False, reboot=True),
                                    FakeDevice(), check_mode=check_mode)
    assert result['changed'] is False
    assert result['result'] == 'unchanged'
    assert result['address'] == '198.18.1.20'
    assert calls.verbs() == ['show']
    assert calls.args(0)[:2] == ['show', MAC]
    assert_password_hidden(calls, out)


def test_check_mode_reads_only_and_shows_the_diff(run_module):
    result, calls, out = run_module(device_address.main, params(ip='198.18.1.77', netmask='255.255.0.0', reboot=True),
                                    FakeDevice(), check_mode=True, diff=True)
    assert calls.verbs() == ['show']
    assert result['changed'] is True
    assert result['result'] == 'would-change'
    assert result['changes'] == dict(ip='198.18.1.77')
    assert result['diff'] == dict(before=CURRENT, after=dict(CURRENT, ip='198.18.1.77'))
    assert_password_hidden(calls, out)


def test_change_sends_only_the_difference_with_password_on_stdin(run_module):
    device = FakeDevice()
    result, calls, out = run_module(device_address.main,
                                    params(ip='198.18.1.77', gateway='198.18.0.254', dhcp=False, timeout=3),
                                    device, diff=True)
    assert calls.verbs() == ['show', 'set']
    assert calls.args(1) == ['set', MAC, '--ip', '198.18.1.77', '--user', 'admin', '--password-stdin',
                             '--format', 'json', '--timeout', '3']
    assert calls.commands[1]['data'] == PASSWORD + '\n'
    assert all(c['env'] == {'LC_ALL': 'C', 'LANG': 'C', 'LANGUAGE': 'C'} for c in calls.commands)
    assert result['changed'] is True
    assert result['result'] == 'stored'
    assert result['before'] == CURRENT
    assert result['after'] == dict(CURRENT, ip='198.18.1.77')
    assert result['diff']['after'] == result['after']
    assert_password_hidden(calls, out)


def test_change_reboot_and_verification_are_one_command(run_module):
    result, calls, out = run_module(device_address.main, params(ip='198.18.1.77', dhcp=False, reboot=True),
                                    FakeDevice())
    assert calls.verbs() == ['show', 'set']
    assert calls.args(1) == ['set', MAC, '--ip', '198.18.1.77', '--user', 'admin', '--password-stdin',
                             '--format', 'json', '--timeout', '5', '--reboot', '--wait']
    assert result['changed'] is True
    assert result['result'] == 'verified'
    assert result['address'] == '198.18.1.77'
    assert_password_hidden(calls, out)


@pytest.mark.parametrize('unicast_only', [False, True])
def test_unicast_only_is_passed_on_to_the_commands_with_the_password(run_module, unicast_only):
    result, calls, out = run_module(device_address.main,
                                    params(ip='198.18.1.77', reboot=True, unicast_only=unicast_only), FakeDevice())
    assert calls.verbs() == ['show', 'set']
    assert ['--unicast-only' in calls.args(i) for i in range(2)] == [False, unicast_only]
    assert result['result'] == 'verified'
    assert_password_hidden(calls, out)


def test_unicast_only_fails_naming_the_device_and_why(run_module):
    device = FakeDevice(failures={'set': (9, OUTSIDE, 'needs-broadcast')})
    result, calls, out = run_module(device_address.main, params(ip='198.18.1.77', unicast_only=True), device)
    assert result['failed'] is True
    assert result['changed'] is False
    assert result['result'] == 'needs-broadcast'
    assert result['msg'] == ('%s: %s (pemblorctl set exit status 9: the password would have been sent by '
                             'broadcast, which unicast_only forbids)' % (MAC, OUTSIDE))
    assert result['after'] == CURRENT


def test_dhcp_on_takes_any_address_after_the_reboot(run_module):
    result, calls, out = run_module(device_address.main, params(dhcp=True, reboot=True),
                                    FakeDevice(lands_at='198.18.5.5'))
    assert result['result'] == 'verified'
    assert result['address'] == '198.18.5.5'


NETMASK = ('After restarting, the device answered from 198.18.1.77 with netmask 255.255.0.0, not with netmask '
           '255.255.255.0: it may not have taken the netmask.')


@pytest.mark.parametrize('desired, device, message', [
    (dict(ip='198.18.1.77'), FakeDevice(lands_at='198.18.1.20'),
     'After restarting, the device answered from 198.18.1.20, not from its new address 198.18.1.77.'),
    (dict(ip='198.18.1.77', netmask='255.255.255.0'), FakeDevice(failures={'reboot': (4, NETMASK, 'not-verified')}),
     NETMASK),
])
def test_a_device_not_back_as_set_fails_in_pemblorctls_words(run_module, desired, device, message):
    result, calls, out = run_module(device_address.main, params(reboot=True, **desired), device)
    assert result['failed'] is True
    assert result['changed'] is True
    assert result['result'] == 'not-verified'
    assert result['msg'] == ('%s: %s (pemblorctl set exit status 4: the device did not answer in time, or was not '
                             'seen back as it should be after its reboot)' % (MAC, message))
    assert result['after'] == dict(CURRENT, **desired)
    assert_password_hidden(calls, out)


@pytest.mark.parametrize('verb, rc, stderr, result_name, expect', [
    ('show', 2, 'Find no devices!', None, 'not-found'),
    ('show', 4, 'Time Out!', 'timeout', 'timeout'),
    ('show', 5, 'm_skRecv.Create Error(98)', None, 'failed'),
    ('set', 3, 'Authentication Error!', 'authentication-error', 'authentication-error'),
    ('set', 1, 'Invalid IP Address!', None, 'invalid'),
    ('set', 4, 'Time Out!', None, 'timeout'),
    ('set', 6, 'skSend.SendTo: 19 (lab0)', None, 'failed'),
    ('set', 7, 'Unknown result!', 'unknown-result', 'unknown-result'),
    ('reboot', 4, 'Time Out!', 'timeout', 'timeout'),
    ('reboot', 3, 'Authentication Error!', 'authentication-error', 'authentication-error'),
    ('set', 9, OUTSIDE, 'needs-broadcast', 'needs-broadcast'),
    ('reboot', 9, OUTSIDE.replace('is outside this computer\'s networks', 'does not answer by unicast'),
     'needs-broadcast', 'needs-broadcast'),
])
def test_each_exit_status_fails_naming_the_device(run_module, verb, rc, stderr, result_name, expect):
    device = FakeDevice(failures={verb: (rc, stderr, result_name)})
    result, calls, out = run_module(device_address.main, params(ip='198.18.1.77', reboot=True), device)
    assert result['failed'] is True
    assert result['rc'] == rc
    assert result['msg'].startswith(MAC + ': ')
    assert stderr in result['msg']
    assert 'exit status %d' % rc in result['msg']
    assert result['result'] == expect
    # A failure after the change was stored still reports the change; a
    # refused change leaves the device as it was.
    assert result['changed'] is (verb == 'reboot')
    if verb == 'set':
        assert result['after'] == CURRENT
    assert calls.verbs()[-1] == ('show' if verb == 'show' else 'set')
    assert_password_hidden(calls, out)


def test_flat_show_record_is_read_too(run_module):
    def ctl(args):
        flat = dict(mac=MAC, ip='198.18.1.20', ip_addr='198.18.1.21', netmask='255.255.0.0',
                    gateway='198.18.0.254', dhcp=True)
        return 0, json.dumps(flat) + '\n', ''
    result, calls, out = run_module(device_address.main, params(ip='198.18.1.21', dhcp=True), ctl)
    assert result['changed'] is False
    assert result['before'] == dict(ip='198.18.1.21', netmask='255.255.0.0', gateway='198.18.0.254', dhcp=True)


@pytest.mark.parametrize('reboot', [True, False])
def test_values_stored_earlier_are_rebooted_into_place(run_module, reboot):
    """The device holds 198.18.1.77 (set earlier without a reboot) but still
    answers from 198.18.1.20: with reboot it is rebooted and verified there,
    without it nothing is sent and nothing changed."""
    device = FakeDevice()
    device.settings['ip'] = '198.18.1.77'
    result, calls, out = run_module(device_address.main, params(ip='198.18.1.77', dhcp=False, reboot=reboot), device)
    if reboot:
        assert calls.verbs() == ['show', 'reboot']
        assert result['changed'] is True
        assert result['result'] == 'verified'
        assert result['address'] == '198.18.1.77'
    else:
        assert calls.verbs() == ['show']
        assert result['changed'] is False
        assert result['result'] == 'unchanged'
    assert_password_hidden(calls, out)


def test_set_finding_nothing_to_change_reboots_nothing(run_module):
    def ctl(args):
        if args[0] == 'set':
            return 0, FakeDevice().outcome('unchanged', CURRENT, CURRENT), 'Nothing to change.\n'
        return FakeDevice()(args)
    result, calls, out = run_module(device_address.main, params(ip='198.18.1.77', reboot=True), ctl)
    assert calls.verbs() == ['show', 'set']
    assert result['changed'] is False
    assert result['result'] == 'unchanged'
