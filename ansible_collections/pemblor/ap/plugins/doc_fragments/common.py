# -*- coding: utf-8 -*-
# Copyright 2026 The Pemblor developers. See COPYING.

from __future__ import absolute_import, division, print_function
__metaclass__ = type


class ModuleDocFragment(object):
    # What every module of the collection documents alike; a module's own
    # attributes add to these, and it describes its timeout itself.
    DOCUMENTATION = r'''
options:
  timeout:
    type: int
    default: 5
author:
  - Pemblor developers (@pemblor)
attributes:
  check_mode:
    support: full
  platform:
    platforms: posix
'''
