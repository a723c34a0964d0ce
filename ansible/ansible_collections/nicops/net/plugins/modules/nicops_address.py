#!/usr/bin/python
# -*- coding: utf-8 -*-

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r'''
---
module: nicops_address
short_description: IPv4 addresses of a network adapter, whole ranges at a time
description:
  - Makes the addresses of the given range lines present on an adapter, or absent from it,
    with C(nicopsctl) on the managed host.
  - It first asks C(nicopsctl add --dry-run --json) which addresses the adapter holds, then adds
    only the missing ones (C(nicopsctl add --json)) or deletes only the held ones
    (C(nicopsctl delete --json)). A run that finds every address as asked changes nothing.
  - Changing addresses needs root or CAP_NET_ADMIN on the managed host.
version_added: 0.1.0
options:
  adapter:
    description:
      - The adapter, as C(nicopsctl --adapter) takes it. An adapter index, else a connection
        name, else an interface name.
    type: str
    required: true
  ranges:
    description:
      - Lines of the add dialog. A single address (C(10.9.0.5)) or a range with both ends
        included (C(10.9.0.{10-20})).
      - A line that names no address fails the module before anything changes.
    type: list
    elements: str
    required: true
  mask:
    description:
      - The mask of the added addresses. Without it, the adapter's stored mask, else
        255.255.255.0.
      - The mask of an address the adapter holds already is not compared.
    type: str
  state:
    description:
      - C(present) adds the addresses the adapter lacks, C(absent) deletes those it holds.
    type: str
    choices: [present, absent]
    default: present
  persist:
    description:
      - Whether a change is written to the stored address sets, so that it survives a restart
        (C(nicopsctl restore)). C(false) passes C(--no-store).
    type: bool
    default: true
  nicopsctl:
    description:
      - The nicopsctl program. A path, or a name looked up on PATH.
    type: str
    default: nicopsctl
  store:
    description:
      - The file of the stored address sets (C(nicopsctl --store)). Without it, nicopsctl's
        default.
    type: path
notes:
  - Check mode answers from the dry run and changes nothing.
  - The module fails with nicopsctl's message on a usage error, when the command can't run (no
    such adapter), when an address can't be added or deleted, and when a change with
    I(persist=true) could not be stored.
author:
  - nicops developers
'''

EXAMPLES = r'''
- name: Twenty addresses on the second adapter
  nicops.net.nicops_address:
    adapter: eth1
    ranges:
      - 10.9.0.{10-29}
    mask: 255.255.255.0

- name: One address, not kept across restarts
  nicops.net.nicops_address:
    adapter: "2"
    ranges: [192.168.50.7]
    persist: false

- name: The range gone again
  nicops.net.nicops_address:
    adapter: eth1
    ranges: ['10.9.0.{10-29}']
    state: absent
'''

RETURN = r'''
adapter:
  description: The adapter the addresses are on.
  returned: success
  type: dict
  contains:
    index:
      description: The adapter index.
      type: int
    connection_name:
      description: The connection name.
      type: str
    interface_name:
      description: The interface name.
      type: str
addresses:
  description: The addresses added or deleted (in check mode, those that would be).
  returned: always
  type: list
  elements: str
  sample: [10.9.0.10, 10.9.0.11]
results:
  description:
    - Each address's result as nicopsctl answered it. Of the change when one ran, else of the
      dry run.
    - The change's outcomes are C(added), C(exists), C(in_use), C(failed), C(invalid),
      C(deleted) and C(not_found); the dry run's C(present), C(absent) and C(invalid).
  returned: always
  type: list
  elements: dict
  sample:
    - entry: 10.9.0.{10-11}
      address: 10.9.0.10
      mask: 255.255.255.0
      outcome: added
      code: 0
      log: 添加IP-地址 10.9.0.10 成功.
counts:
  description: The change's summary counts (see nicopsctl(1), JSON OUTPUT).
  returned: when a change ran
  type: dict
store_written:
  description: Whether the adapter's address set was written to the store.
  returned: always
  type: bool
log:
  description: nicopsctl's log lines (its stderr), time stamps included.
  returned: always
  type: list
  elements: str
'''

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.nicops.net.plugins.module_utils.nicopsctl import (
    nicopsctl_command,
    run_json,
)


def main():
    module = AnsibleModule(
        argument_spec=dict(
            adapter=dict(type='str', required=True),
            ranges=dict(type='list', elements='str', required=True),
            mask=dict(type='str'),
            state=dict(type='str', choices=['present', 'absent'], default='present'),
            persist=dict(type='bool', default=True),
            nicopsctl=dict(type='str', default='nicopsctl'),
            store=dict(type='path'),
        ),
        supports_check_mode=True,
    )
    params = module.params
    ctl = nicopsctl_command(module, params['nicopsctl'], params['store'])
    adapter = ['--adapter', params['adapter']]
    present = params['state'] == 'present'

    check, log = run_json(module, ctl + ['add', '--dry-run', '--json'] + adapter + ['--'] +
                          params['ranges'])
    result = dict(changed=False, adapter=check['adapter'], addresses=[],
                  results=check['results'], store_written=False, log=log)
    invalid = [r for r in check['results'] if r['outcome'] == 'invalid']
    if invalid:
        module.fail_json(msg='; '.join('%s: %s' % (r['entry'], r['log']) for r in invalid),
                         **result)

    # Each address once, in the order of the lines.
    todo = []
    for r in check['results']:
        if r['outcome'] == ('absent' if present else 'present') and r['address'] not in todo:
            todo.append(r['address'])
    result.update(changed=bool(todo), addresses=todo)
    if not todo or module.check_mode:
        module.exit_json(**result)

    store = [] if params['persist'] else ['--no-store']
    if present:
        mask = ['--mask', params['mask']] if params['mask'] else []
        command = ctl + ['add', '--json'] + adapter + mask + store + ['--'] + todo
        done = 'added'
    else:
        command = ctl + ['delete', '--json'] + adapter + store + ['--'] + todo
        done = 'deleted'
    change, change_log = run_json(module, command)
    result.update(results=change['results'], counts=change['counts'],
                  store_written=change['store_written'], log=log + change_log,
                  changed=change['counts']['succeeded'] > 0)
    failed = [r for r in change['results'] if r['outcome'] != done]
    if failed:
        module.fail_json(msg='; '.join(r['log'] for r in failed), **result)
    if params['persist'] and not change['store_written']:
        module.fail_json(msg='the addresses were changed but their set was not stored', **result)
    module.exit_json(**result)


if __name__ == '__main__':
    main()
