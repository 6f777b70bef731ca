// Workspace args.index made (with any before it) and shown.
const manager = global.workspace_manager;
while (manager.n_workspaces <= args.index)
    manager.append_new_workspace(false, global.get_current_time());
manager.get_workspace_by_index(args.index).activate(global.get_current_time());
'ok'
