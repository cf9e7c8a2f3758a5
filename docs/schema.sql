-- Database of kpd-appserver: the figures behind the results cockpit.
-- Runs unchanged on SQLite and PostgreSQL; then run schema-sqlite.sql or schema-postgresql.sql, the
-- triggers that keep movimento_mensal (kpd-appserver --init-schema runs both).
-- Dates are ISO text 'yyyy-mm-dd' on SQLite (DATE columns), timestamps 'yyyy-mm-dd hh:mm:ss'. Money columns are in currency units (not thousands, not millions).
-- Column meanings and units: schema.md.

-- Regions (areas of management). 'TOTAL' is reserved for the company total.
CREATE TABLE regional (
    cdareagere  TEXT PRIMARY KEY,     -- region code, at most 3 characters
    nmareagere  TEXT NOT NULL         -- region name
);

-- Branches, each in one region.
CREATE TABLE filial (
    cdfilial    INTEGER PRIMARY KEY,  -- branch code
    nmfilial    TEXT NOT NULL,        -- branch name, at most 30 characters
    cdareagere  TEXT NOT NULL REFERENCES regional
);

-- One day of one branch.
CREATE TABLE movimento_diario (
    cdfilial    INTEGER NOT NULL REFERENCES filial,
    dtmovimento DATE NOT NULL,        -- the day
    vrfatliq    NUMERIC NOT NULL,     -- net revenue
    vrconsumo   NUMERIC NOT NULL,     -- consumption (cost of goods consumed)
    vrmdo       NUMERIC NOT NULL,     -- labour
    vrdespesas  NUMERIC NOT NULL,     -- other expenses
    PRIMARY KEY (cdfilial, dtmovimento)
);

-- Stock value of a branch at the end of the month whose first day is mes.
CREATE TABLE estoque_mensal (
    cdfilial    INTEGER NOT NULL REFERENCES filial,
    mes         DATE NOT NULL,        -- first day of the month
    vrestoque   NUMERIC NOT NULL,     -- stock value at the end of that month
    PRIMARY KEY (cdfilial, mes)
);

-- The month's figures of each branch: the sums of its daily rows in that month. The triggers of
-- schema-sqlite.sql or schema-postgresql.sql keep it in step with movimento_diario on every insert,
-- update and delete, whoever writes; kpd-appserver reads a month here instead of summing its days.
CREATE TABLE movimento_mensal (
    mes         DATE NOT NULL,        -- first day of the month
    cdfilial    INTEGER NOT NULL,     -- branch code (no reference: it follows movimento_diario)
    vrfatliq    NUMERIC NOT NULL,     -- sums of the month's daily rows
    vrconsumo   NUMERIC NOT NULL,
    vrmdo       NUMERIC NOT NULL,
    vrdespesas  NUMERIC NOT NULL,
    qtdias      INTEGER NOT NULL,     -- daily rows summed (0: all were deleted; readers skip it)
    vrestoque   NUMERIC,              -- the branch's estoque_mensal of that month, copied (none: no row)
    PRIMARY KEY (mes, cdfilial)
);

-- One row per data load; the latest one is shown as the date of the last update.
CREATE TABLE carga_etl (
    dtcarga     TIMESTAMP NOT NULL    -- when the load finished
);

-- Targets the company sets for a month, for the company as a whole (escopo 'TOTAL'), a region (its code)
-- or a branch ('#' and its code: '#1234'). Where a month and scope have no row for an indicator, the
-- cockpit keeps its own rule for the shares (40, 45, 15 and 5 %) and judges revenue against nothing; a
-- region or the company without a revenue row whose branches with figures all have one is judged against
-- their sum.
CREATE TABLE meta_mensal (
    mes         DATE NOT NULL,        -- first day of the month
    escopo      VARCHAR(10) NOT NULL, -- 'TOTAL', a region code (regional.cdareagere) or '#' and a branch code
    indicador   VARCHAR(12) NOT NULL, -- faturamento, consumo, mdo, despesas or resultado
    vrmeta      NUMERIC NOT NULL,     -- faturamento in currency units; the others in per cent of revenue
    PRIMARY KEY (mes, escopo, indicador)
);

-- A month's call reads one date range: this index holds every column it needs, so the month's rows
-- are found by a range seek and read from the index alone, however long the history grows.
CREATE INDEX ix_movimento_diario_mes
    ON movimento_diario (dtmovimento, cdfilial, vrfatliq, vrconsumo, vrmdo, vrdespesas);

-- A month of the summary is read from this index alone: one range, no lookups into the table.
CREATE INDEX ix_movimento_mensal_mes
    ON movimento_mensal (mes, cdfilial, vrfatliq, vrconsumo, vrmdo, vrdespesas, qtdias);

CREATE INDEX ix_estoque_mensal_mes ON estoque_mensal (mes, cdfilial, vrestoque);

CREATE INDEX ix_carga_etl_dtcarga ON carga_etl (dtcarga);

CREATE INDEX ix_filial_cdareagere ON filial (cdareagere);
