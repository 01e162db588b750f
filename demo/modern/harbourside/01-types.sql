-- Harbourside: user-defined types, old-style defaults and rules.

-- @object User Defined Datatype | CustomerCode | 2006-03-14 09:12:40
CREATE TYPE dbo.CustomerCode FROM char(8) NOT NULL;

-- @object User Defined Datatype | OrderNumber | 2006-03-14 09:12:41
CREATE TYPE dbo.OrderNumber FROM int NOT NULL;

-- @object User Defined Datatype | Sku | 2006-03-14 09:12:43
CREATE TYPE dbo.Sku FROM varchar(20) NOT NULL;

-- @object User Defined Datatype | PhoneNumber | 2006-03-14 09:12:44
CREATE TYPE dbo.PhoneNumber FROM varchar(24) NULL;

-- @object User Defined Datatype | EmailAddress | 2011-08-02 16:40:05
CREATE TYPE dbo.EmailAddress FROM nvarchar(254) NULL;

-- @object User Defined Datatype | Money4 | 2006-03-14 09:12:47
CREATE TYPE dbo.Money4 FROM decimal(19, 4) NOT NULL;

-- @object User Defined Datatype | OrderLineList | 2015-11-23 11:05:19
CREATE TYPE dbo.OrderLineList AS TABLE (
    Sku        varchar(20)    NOT NULL,
    Quantity   int            NOT NULL CHECK (Quantity > 0),
    UnitPrice  decimal(19, 4) NULL,
    PRIMARY KEY (Sku)
);

-- @object Default | df_Zero | 2006-03-14 09:13:02
CREATE DEFAULT dbo.df_Zero AS 0;

-- @object Default | df_Today | 2006-03-14 09:13:03
CREATE DEFAULT dbo.df_Today AS CONVERT(date, GETDATE());

-- @object Default | df_CountryGB | 2007-01-09 10:44:51
CREATE DEFAULT dbo.df_CountryGB AS 'GB';

-- @object Default | df_Unknown | 2007-01-09 10:44:52
CREATE DEFAULT dbo.df_Unknown AS 'UNKNOWN';

-- @object Rule | rl_Positive | 2006-03-14 09:13:10
CREATE RULE dbo.rl_Positive AS @value > 0;

-- @object Rule | rl_Percentage | 2006-03-14 09:13:11
CREATE RULE dbo.rl_Percentage AS @value BETWEEN 0 AND 100;

-- @object Rule | rl_CustomerCode | 2006-03-14 09:13:12
CREATE RULE dbo.rl_CustomerCode AS @value LIKE '[A-Z][A-Z][A-Z][0-9][0-9][0-9][0-9][0-9]';

-- @object Rule | rl_OrderStatus | 2008-05-20 14:02:33
CREATE RULE dbo.rl_OrderStatus AS @value IN ('NEW', 'PICKING', 'SHIPPED', 'INVOICED', 'CANCELLED');
