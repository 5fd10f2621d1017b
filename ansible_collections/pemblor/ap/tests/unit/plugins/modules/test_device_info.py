# -*- coding: utf-8 -*-
# Copyright 2026 The Pemblor developers. See COPYING.

from __future__ import absolute_import, division, print_function
__metaclass__ = type

import pytest

from ansible_collections.pemblor.ap.plugins.modules import device_info

LINES = (
    '{"mac":"02:00:00:BB:00:01","ssid":"office","ip":"198.18.1.20","ip_addr":"198.18.1.20",'
    '"netmask":"255.255.0.0","channel":"6","interface":"lab0"}\n'
    '\n'
    '{"mac":"02:00:00:BB:00:02","ssid":"hall","ip":"198.18.1.21","ip_addr":"198.18.1.21",'
    '"netmask":"255.255.0.0","channel":"11","interface":"lab0"}\n'
)
SILENCE = 'Find no devices!\nNobody answered: the query went out and came back on lab0, but no agent answered.\n'


@pytest.mark.parametrize('check_mode', [False, True])
def test_lists_every_device_in_order(run_module, check_mode):
    result, calls, out = run_module(device_info.main, dict(timeout=3), lambda args: (0, LINES, ''),
                                    check_mode=check_mode)
    assert calls.args(0) == ['discover', '--format', 'json', '--timeout', '3']
    assert result['changed'] is False
    assert [d['mac'] for d in result['devices']] == ['02:00:00:BB:00:01', '02:00:00:BB:00:02']
    assert result['devices'][1]['interface'] == 'lab0'
    assert result['diagnosis'] == ''


def test_silence_is_an_empty_list_with_the_diagnosis(run_module):
    result, calls, out = run_module(device_info.main, dict(), lambda args: (2, '', SILENCE))
    assert calls.args(0)[-1] == '5'
    assert 'failed' not in result
    assert result['devices'] == []
    assert result['diagnosis'] == SILENCE.strip()


@pytest.mark.parametrize('rc, stdout, stderr, words', [
    (5, '', 'm_skRecv.Create Error(98)\n', ['m_skRecv.Create Error(98)', 'exit status 5', 'in use']),
    (6, '', 'skSend.SendTo: 19 (lab0)\n', ['skSend.SendTo: 19 (lab0)', 'exit status 6']),
    (0, 'MAC ADDRESS  IP ADDRESS\n', '', ['not JSON']),
])
def test_other_failures(run_module, rc, stdout, stderr, words):
    result, calls, out = run_module(device_info.main, dict(), lambda args: (rc, stdout, stderr))
    assert result['failed'] is True
    for word in words:
        assert word in result['msg']
